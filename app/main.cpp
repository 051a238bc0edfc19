#include "chooser/chooser_slot.h"
#include "launcher/keyword_prompt.h"
#include "launcher/launcher_window.h"
#include "platform/core/member_copies_folder.h"
#include "platform/core/program.h"
#include "platform/widgets/application_setup.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/shell_opener.h"
#include "search/widgets/search_controller.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QTimer>

#include <cstdio>

namespace {

// With QUARLEX_TIMING set to a file name, the program appends to that file the wall-clock time
// (seconds since the epoch) of the launcher's first paint ("first-paint") and of the report
// painted after each search ("report-painted"), for the benchmarks that drive it from outside.
class TimingLog : public QObject
{
public:
    TimingLog(QWidget &launcher, search::SearchController &search)
        : m_file(qgetenv("QUARLEX_TIMING")), m_launcher(launcher)
    {
        if (m_file.isEmpty())
            return;
        launcher.installEventFilter(this);
        connect(&search, &search::SearchController::finished, this, [this] {
            m_launcher.repaint();
            write("report-painted");
        });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            m_launcher.removeEventFilter(this);
            // Written on the next pass of the event loop, once this paint is done.
            QTimer::singleShot(0, this, [this] { write("first-paint"); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void write(const char *what) const
    {
        if (FILE *out = std::fopen(m_file.constData(), "a")) {
            std::fprintf(out, "%s %.6f\n", what,
                         double(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
            std::fclose(out);
        }
    }

    QByteArray m_file;
    QWidget &m_launcher;
    bool m_painted = false;
};

} // namespace

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
    platform::removeOldMemberCopies();

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
    TimingLog timing(launcher, search);
    launcher.show();
    return app.exec();
}
