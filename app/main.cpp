#include "chooser/chooser_slot.h"
#include "launcher/keyword_prompt.h"
#include "launcher/launcher_window.h"
#include "platform/core/program.h"
#include "platform/widgets/application_setup.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/shell_opener.h"
#include "search/archives/member_copy.h"
#include "search/widgets/search_controller.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    platform::pinTimeZone();
    QApplication app(argc, argv);
    platform::setUpApplication(app);
    // The program ends only through the launcher's "X" (or closing the launcher), never because
    // some window was the last one to close.
    QApplication::setQuitOnLastWindowClosed(false);
    // Members copied out of archives to be opened are kept a day, for the application that
    // opened them.
    archives::removeOldMemberCopies();

    platform::QtDialogs dialogs;
    launcher::KeywordPrompt prompt(dialogs);
    platform::DesktopShellOpener shell;
    chooser::ChooserServices chooserServices;
    chooserServices.prompt = &prompt;
    chooserServices.shell = &shell;
    chooserServices.settingsFolder = platform::lastLocationFolder(platform::programFolder());
    chooser::ChooserSlot chooser(chooserServices);
    launcher::Form1 launcher(prompt);
    search::SearchController search(dialogs, launcher, &launcher,
                                    [&prompt] { return prompt.StrKey(); });
    chooser.setSearchCommand(&search);
    launcher.setChooserHost(&chooser);
    launcher.setReportServices(&shell, &dialogs);
    launcher.show();
    return app.exec();
}
