#pragma once

#include "search/core/document_prefetch.h"
#include "search/core/entry_list.h"
#include "search/core/file_search.h"
#include "search/core/run_report.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <functional>

namespace search {

struct RunEntry
{
    QString name;
    bool selected = false;
};

// The file list as a run sees it: taken once when the run starts, so that the list changing,
// moving to another folder or going away during the run never changes what the run reports.
struct RunSnapshot
{
    QString folderPath;
    QList<RunEntry> entries;
    static RunSnapshot take(const EntryList &list);
};

// One batch search: every marked entry of the snapshot, in list order, is searched for the
// keyword, and each result goes to the run's report (RunReport). The run itself paces: it lets
// the user interface run, tells the progress, and hands files to the workers and back.
//
// Files are opened by their names' bytes as the file list holds them (platform/core/paths.h).
class SearchRun
{
public:
    // keyword() is read anew for every file, just before the file is searched (the keyword may
    // change between files; a change while a file is searched counts from the next file).
    // yield() lets the user interface run pending events: called before every entry, and inside
    // a file at most every ~16 ms of work (time-based, cheap otherwise).
    SearchRun(RunSnapshot snapshot, std::function<QString()> keyword, std::function<void()> yield);

    // Runs to the end, or until cancel() is called (from inside yield()). A call made while the
    // run is already in progress (from inside yield()) returns at once.
    void run();
    void cancel();
    bool wasCancelled() const { return m_cancelled; }
    // True when the report body holds at least one hit entry.
    bool hasHits() const { return m_report.hasHits(); }
    // The whole text for the report box.
    QString reportText() const { return m_report.text(); }
    // The hit entries of reportText(), in list order.
    QList<ReportHit> hits() const { return m_report.hits(); }

    // Called with (files done, marked files, 0) when the run starts and after every marked file,
    // whether it was a hit, no hit or unreadable. While the run waits for a long document (the
    // pages of a scan being recognised, on this thread's worker or on a prefetch worker), it is
    // called again when it polls, with the share (0..1) of that file read so far, rising.
    using Progress = std::function<void(int done, int total, double fileShare)>;
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // Milliseconds of work inside one file between two yields (16 unless changed, 0 = as often as
    // the search can).
    void setYieldInterval(int milliseconds) { m_yieldIntervalMs = milliseconds; }

    // Before an entry the run yields when this many milliseconds have passed since the last
    // yield (1 unless changed; 0 = before every entry). An event-loop pass costs microseconds,
    // which a hundred thousand small files would multiply; an event waits at most this long
    // more, and each file still uses the keyword current when its test starts.
    void setEntryYieldSpacing(int milliseconds) { m_entryYieldMs = milliseconds; }

    // With workers, a document read in less than this many milliseconds is kept once they have
    // nothing ahead, not as it is searched (DocumentPrefetch::kKeepLaterBelowMs unless changed;
    // negative: each as it is read).
    void setKeepLaterBelow(int milliseconds) { m_keepLaterBelowMs = milliseconds; }

    // Where the text of documents is kept from one search to the next (none unless set). With a
    // cache, the documents ahead of the file being searched are extracted into it by `workers`
    // threads (DocumentPrefetch; by default one per spare core).
    void setTextCache(textcache::TextCache *cache, int workers = DocumentPrefetch::spareCores())
    {
        m_cache = cache;
        m_prefetchWorkers = workers;
        m_search.setTextCache(cache);
    }
    // The readers of documents and archives (the format module's unless set).
    void setReaders(const formats::Readers *readers);
    // The prefetch of the last run, which goes on keeping the text of its documents after the
    // run has ended for as long as it lives; null without a cache.
    std::unique_ptr<DocumentPrefetch> takePrefetch() { return std::move(m_prefetch); }

private:
    // Calls yield() when the interval has passed; false once the run is cancelled.
    bool keepGoing();
    // The keyword as it is now, compiled (again only when it changed).
    const std::shared_ptr<const Keyword> &compiledKeyword();
    void yieldNow();

    RunSnapshot m_snapshot;
    std::function<QString()> m_keyword;
    std::function<void()> m_yield;
    Progress m_progress;
    QElapsedTimer m_sinceYield;
    int m_yieldIntervalMs = 16;
    int m_entryYieldMs = 1;
    bool m_running = false;
    bool m_cancelled = false;
    FileSearch m_search; // one for the whole run: its buffers serve every file
    textcache::TextCache *m_cache = nullptr;
    const formats::Readers *m_readers = nullptr;
    int m_prefetchWorkers = 0;
    int m_keepLaterBelowMs = DocumentPrefetch::kKeepLaterBelowMs;
    std::unique_ptr<DocumentPrefetch> m_prefetch;
    std::shared_ptr<const Keyword> m_compiled;
    RunReport m_report;
};

} // namespace search
