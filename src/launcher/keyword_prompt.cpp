#include "launcher/keyword_prompt.h"

#include "platform/core/program.h"
#include "platform/widgets/dialogs.h"

namespace launcher {

QString KeywordPrompt::AskKeyword(QWidget *parent)
{
    m_StrKey = m_dialogs.textPrompt(parent, platform::applicationTitle(),
                                    QStringLiteral(u"请输入关键字：？"));
    return m_StrKey;
}

void KeywordPrompt::showEmptyKeywordMessage(QWidget *parent)
{
    m_dialogs.criticalMessage(parent, platform::applicationTitle(),
                              QStringLiteral(u"关键字为空！！！"));
}

} // namespace launcher
