#include "search/widgets/search_controller.h"

#include "platform/core/event_yield.h"
#include "platform/core/program.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/form.h"
#include "search/cache/text_cache.h"
#include "search/core/entry_list.h"
#include "search/core/search_run.h"
#include "search/match/keyword_bytes.h"
#include "search/widgets/progress_window.h"

#include <QTimer>

namespace search {

SearchController::SearchController(platform::Dialogs &dialogs, ReportSink &report,
                                   QWidget *launcher, std::function<QString()> keyword,
                                   QObject *parent)
    : QObject(parent), m_dialogs(dialogs), m_report(report), m_launcher(launcher),
      m_keyword(std::move(keyword))
{
    // The code tables the keyword's byte forms come from are built while the user types the
    // first keyword, once the windows are up, not by the first search.
    QTimer::singleShot(100, this, [this] {
        m_codeTables = platform::OwnedThread(
            "code tables", [] { buildCodeTables(); }, [] {});
    });
}

SearchController::~SearchController() = default;

void SearchController::run(const EntryList &files)
{
    if (m_running)
        return;
    m_running = true;
    // The last run's documents are no longer kept: this run's come first.
    m_prefetch.reset();
    QTimer::singleShot(0, this, [this, snapshot = RunSnapshot::take(files)] { execute(snapshot); });
}

void SearchController::cancel()
{
    if (m_current)
        m_current->cancel();
}

void SearchController::execute(const RunSnapshot &snapshot)
{
    platform::FormSlot progress([] { return new Form2; });
    progress.load();
    Form2 *form = progress.as<Form2>();
    form->centreOver(m_launcher);
    connect(form, &Form2::cancelRequested, this, &SearchController::cancel);
    progress.show();

    SearchRun searchRun(snapshot, m_keyword, [] { platform::processPendingEvents(); });
    searchRun.setTextCache(&textcache::userCache());
    // Closing the progress window unloads it while the run goes on to its cancel.
    searchRun.setProgress([form = QPointer<Form2>(form)](int done, int total, double fileShare) {
        if (form)
            form->setProgress(done, total, fileShare);
    });
    m_current = &searchRun;
    searchRun.run();
    m_current = nullptr;
    // The text of the run's documents goes on being kept until the next run.
    m_prefetch = searchRun.takePrefetch();

    // With no hits the progress window goes as soon as the message is dismissed, before the
    // header-only report appears; otherwise it stays until the report is in place.
    const bool found = searchRun.hasHits();
    if (!found) {
        m_dialogs.criticalMessage(m_launcher, platform::applicationTitle(),
                                  QStringLiteral(u"没有找到!"));
        progress.unload();
    }
    m_report.setReport(searchRun.reportText(), searchRun.hits());
    if (found)
        progress.unload();
    m_running = false;
    Q_EMIT finished();
}

} // namespace search
