#include "search/core/search_run.h"

#include "platform/core/read_ahead.h"
#include "platform/core/work_monitor.h"

#include "search/core/entry_list.h"
#include "search/core/file_search.h"

#include <algorithm>
#include <utility>

namespace search {

RunSnapshot RunSnapshot::take(const EntryList &list)
{
    RunSnapshot snapshot;
    snapshot.folderPath = list.folderPath();
    const QStringList names = list.entryNames();
    const QList<bool> marks = list.entryMarks();
    const qsizetype count = std::min(names.size(), marks.size());
    snapshot.entries.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        snapshot.entries.append(RunEntry{names.at(i), marks.at(i)});
    return snapshot;
}

SearchRun::SearchRun(RunSnapshot snapshot, std::function<QString()> keyword,
                     std::function<void()> yield)
    : m_snapshot(std::move(snapshot)), m_keyword(std::move(keyword)), m_yield(std::move(yield))
{}

void SearchRun::setReaders(const formats::Readers *readers)
{
    m_readers = readers;
    m_search.setReaders(readers);
}

void SearchRun::cancel()
{
    m_cancelled = true;
}

void SearchRun::yieldNow()
{
    if (m_yield)
        m_yield();
    m_sinceYield.start();
}

bool SearchRun::keepGoing()
{
    if (m_sinceYield.elapsed() >= m_yieldIntervalMs)
        yieldNow();
    return !m_cancelled;
}

const std::shared_ptr<const Keyword> &SearchRun::compiledKeyword()
{
    // Compiled once for the run, and again only when the user changed it between two files.
    const QString text = m_keyword ? m_keyword() : QString();
    if (!m_compiled || m_compiled->text() != text)
        m_compiled = Keyword::compile(text);
    return m_compiled;
}

void SearchRun::run()
{
    if (m_running)
        return;
    m_running = true;
    m_report = RunReport(m_snapshot.folderPath);
    const int total = int(std::count_if(m_snapshot.entries.cbegin(), m_snapshot.entries.cend(),
                                        [](const RunEntry &entry) { return entry.selected; }));
    int done = 0;
    if (m_progress)
        m_progress(done, total, 0.0);
    // The thousandths of the current file shown so far: the line only moves forward.
    int shownPermille = 0;
    const auto showFileProgress = [&](int permille) {
        if (m_progress && permille > shownPermille) {
            shownPermille = permille;
            m_progress(done, total, permille / 1000.0);
        }
    };
    // The marked files' paths, in the order they are searched; the next ones are read ahead.
    QStringList paths;
    paths.reserve(total);
    for (const RunEntry &entry : std::as_const(m_snapshot.entries)) {
        if (entry.selected)
            paths.append(m_snapshot.folderPath + u'/' + entry.name);
    }
    // Workers search the files ahead for the keyword of the file the run is at, on the other
    // cores (they start below, before the run's first pass of the event loop).
    const bool prefetching = m_cache && m_prefetchWorkers > 0;
    // With workers to keep them after, small documents are not stored as the run reads them.
    m_search.setKeepLaterBelow(prefetching ? m_keepLaterBelowMs : -1);
    std::shared_ptr<const Keyword> keyword;
    const auto startPrefetch = [&] {
        if (prefetching && !m_prefetch) {
            m_prefetch = std::make_unique<DocumentPrefetch>(*m_cache, paths, m_prefetchWorkers,
                                                            keyword, m_readers, m_keepLaterBelowMs);
            m_prefetch->reached(done);
        }
    };
    platform::ReadAhead readAhead(paths);
    // The workers start before the run's first pass of the event loop, which shows the progress
    // window and can take milliseconds: they search the files ahead meanwhile. The keyword they
    // need is the one the first file is tested for, read before that pass instead of after it.
    bool firstKeywordRead = false;
    if (prefetching && total > 0) {
        keyword = compiledKeyword();
        firstKeywordRead = true;
        startPrefetch();
    }
    m_sinceYield.invalidate();
    for (const RunEntry &entry : std::as_const(m_snapshot.entries)) {
        if (!m_sinceYield.isValid() || m_sinceYield.elapsed() >= m_entryYieldMs)
            yieldNow();
        if (m_cancelled)
            break;
        if (!entry.selected)
            continue;
        // Told every few files: the worker keeps between 8 and 16 files ahead.
        if (done % 8 == 0)
            readAhead.reached(done);
        const QString &path = paths.at(done);
        if (!firstKeywordRead)
            keyword = compiledKeyword();
        firstKeywordRead = false;
        std::optional<FileSearchResult> ahead;
        if (m_prefetch) {
            m_prefetch->setKeyword(keyword);
            // A worker searching this very file: its answer comes in a moment.
            if (m_prefetch->reached(done)) {
                platform::WorkMonitor waiting([&] {
                    showFileProgress(m_prefetch->progressOf(done));
                    return keepGoing();
                });
                m_prefetch->waitFor(done, waiting);
            }
            ahead = m_prefetch->takeResult(done, *keyword);
        }
        std::optional<FileSearchResult> searched;
        if (!ahead) {
            platform::WorkMonitor monitor([&] {
                startPrefetch();
                showFileProgress(monitor.progress());
                return keepGoing();
            });
            searched = m_search.search(path, *keyword, monitor);
            startPrefetch();
        }
        const FileSearchResult &file = ahead ? *ahead : *searched;
        m_report.add(entry.name, path, file);
        if (m_prefetch && !ahead && !m_search.leftToKeep() &&
            (file.readAs == FileSearchResult::ReadAs::Archive ||
             (file.readAs == FileSearchResult::ReadAs::Text &&
              (file.outcome == FileSearchResult::Outcome::Hit ||
               file.outcome == FileSearchResult::Outcome::NoHit))))
            m_prefetch->nothingToKeep(done);
        if (m_cancelled)
            break;
        ++done;
        shownPermille = 0;
        if (m_progress)
            m_progress(done, total, 0.0);
    }
    if (m_cancelled)
        m_report.setCancelled();
    // The summaries of the documents kept, for the next process's search of them: the workers
    // write them when they are done, or else the run now.
    if (m_prefetch)
        m_prefetch->runEnded();
    else if (m_cache)
        m_cache->saveSummaries();
    m_running = false;
}

} // namespace search
