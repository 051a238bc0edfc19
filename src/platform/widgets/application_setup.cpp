#include "platform/widgets/application_setup.h"

#include "platform/widgets/app_icon.h"
#include "platform/widgets/fonts.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

namespace platform {

void setUpApplication(QApplication &app)
{
    registerFontSubstitutes();

    // The whole interface is Chinese. Without the translations (qt6-translations-l10n) Qt's own
    // texts stay English, which costs nothing else.
    auto *qtTexts = new QTranslator(&app);
    if (qtTexts->load(QStringLiteral("qtbase_zh_CN"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtTexts);
    else
        delete qtTexts;

    QApplication::setWindowIcon(applicationIcon());
}

} // namespace platform
