#pragma once

#include <QString>

class QWidget;
namespace platform {
class Dialogs;
}

namespace launcher {

// Asks for the keyword and keeps it: StrKey is the one keyword every search run uses. It holds
// whatever the last prompt returned, the empty string after Cancel included.
class KeywordPrompt
{
public:
    explicit KeywordPrompt(platform::Dialogs &dialogs) : m_dialogs(dialogs) {}

    // Shows the prompt, stores the answer in StrKey (also when empty) and returns it.
    QString AskKeyword(QWidget *parent);
    // The message for an empty answer.
    void showEmptyKeywordMessage(QWidget *parent);

    const QString &StrKey() const { return m_StrKey; }

private:
    platform::Dialogs &m_dialogs;
    QString m_StrKey;
};

} // namespace launcher
