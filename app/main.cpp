#include "launcher/keyword_prompt.h"
#include "launcher/launcher_window.h"
#include "platform/widgets/application_setup.h"
#include "platform/widgets/dialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    platform::setUpApplication(app);
    // The program ends only through the launcher's "X" (or closing the launcher), never because
    // some window was the last one to close.
    QApplication::setQuitOnLastWindowClosed(false);

    platform::QtDialogs dialogs;
    KeywordPrompt prompt(dialogs);
    Form1 launcher(prompt);
    launcher.show();
    return app.exec();
}
