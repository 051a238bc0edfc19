#pragma once

#include "platform/core/program.h"
#include "search/widgets/search_command.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QWidget;
namespace platform {
class Dialogs;
}

namespace search {

class DocumentPrefetch;
class ReportSink;
class SearchRun;
struct RunSnapshot;

// Runs searches for the chooser: the progress window while it runs, "没有找到!" when nothing was
// found, and the report into the launcher.
//
// run() takes the entries, marks and folder at once and starts the work from the event loop, so
// the run never executes inside the chooser's own event handler: the chooser may be hidden,
// shown, moved to another folder or unloaded meanwhile without affecting the run.
class SearchController : public QObject, public SearchCommand
{
    Q_OBJECT
    Q_DISABLE_COPY(SearchController)

public:
    // `launcher` is where the progress window is centred and the parent of the message box.
    SearchController(platform::Dialogs &dialogs, ReportSink &report, QWidget *launcher,
                     std::function<QString()> keyword, QObject *parent = nullptr);
    ~SearchController() override;

    void run(const EntryList &files) override;
    bool isRunning() const override { return m_running; }

    // Asks a running search to stop after the file it is reading.
    void cancel();

Q_SIGNALS:
    void finished();

private:
    void execute(const RunSnapshot &snapshot);

    platform::Dialogs &m_dialogs;
    ReportSink &m_report;
    QPointer<QWidget> m_launcher;
    std::function<QString()> m_keyword;
    bool m_running = false;
    SearchRun *m_current = nullptr;
    std::unique_ptr<DocumentPrefetch> m_prefetch; // of the last run, until the next one
    platform::OwnedThread m_codeTables;           // builds them before the first search
};

} // namespace search
