#include "search/core/document_prefetch.h"

#include "platform/core/program.h"
#include "search/cache/text_cache.h"
#include "search/core/document_reading.h"
#include "search/core/file_search.h"
#include "search/core/search_text.h"
#include "search/formats/format_module.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace search {

namespace {
std::atomic<int> g_runningWorkers{0};
}

struct DocumentPrefetch::Shared
{
    enum class State : quint8 { Free, Busy, Done, Run };

    // Every file's state is an atomic of its own, so that the run and the workers hand files to
    // each other without a lock: a file is claimed by one compare-and-swap, its answer written by
    // the one that claimed it and read by the run only once it sees the file Done (release and
    // acquire). The mutex is for the keyword, for the pass over the files the run has searched
    // itself, and for the few moments a thread sleeps because there is nothing to do.
    textcache::TextCache *cache = nullptr;
    const formats::Readers *readers = nullptr;
    int keepLaterBelowMs = -1;
    QStringList paths;
    int count = 0;
    std::unique_ptr<std::atomic<State>[]> states;
    // A document searched ahead of the run, with the number of the keyword it was searched for.
    struct Result
    {
        int generation = -1;
        FileSearchResult result;
    };
    std::vector<std::optional<Result>> results;

    std::mutex mutex;
    std::condition_variable changed;
    std::shared_ptr<const Keyword> keyword; // the run's, for the searches ahead (under the mutex)
    std::atomic<int> generation{0};         // counts the keyword's changes
    std::atomic<int> reached{-1};
    std::atomic<int> nextAhead{0}; // no Free file before it
    std::atomic<int> nextRun{0};   // no Run file before it
    std::atomic<int> runs{0};      // files in State::Run
    std::atomic<bool> ended{false};
    std::atomic<bool> stop{false};
    std::atomic<int> workersLeft{0}; // the last to end writes the cache's summaries down
    // Threads asleep on `changed`: a state change only takes the lock to wake them when there
    // is one, so that handing over a file costs no system call while both threads are busy.
    std::atomic<int> waitingWorkers{0};
    std::atomic<int> waitingRuns{0};

    // How far a worker has come through the file the run has reached (and may be waiting for):
    // the file's index in the high half, thousandths in the low one. Workers on other files
    // leave it alone; the run reads it as it polls.
    std::atomic<int> reachedIndex{-1};
    std::atomic<qint64> reachedProgress{0};
    void tellProgress(int index, int permille)
    {
        if (index == reachedIndex.load(std::memory_order_relaxed))
            reachedProgress.store(qint64(index) << 32 | permille, std::memory_order_relaxed);
    }

    bool take(int index, State from, State to)
    {
        return states[size_t(index)].compare_exchange_strong(from, to);
    }
    State state(int index) const { return states[size_t(index)].load(); }

    void wake(const std::atomic<int> &waiting)
    {
        if (waiting.load() > 0) {
            {
                std::lock_guard lock(mutex);
            }
            changed.notify_all();
        }
    }

    // A file a worker has searched becomes Run: the pass over them must see it. The place is
    // moved back under the lock, so that a pass going on cannot move it past the file.
    void setRun(int index)
    {
        states[size_t(index)].store(State::Run);
        ++runs;
        std::lock_guard lock(mutex);
        setRunHint(index);
    }
    void setRunHint(int index)
    {
        int next = nextRun.load();
        while (index < next && !nextRun.compare_exchange_weak(next, index)) {
        }
    }

    // True when a file in [from, to) is Run: one the run has passed and left to the workers.
    bool passedRun(int from, int to) const
    {
        for (int i = std::max(from, 0); i < std::min(to, count); ++i) {
            if (state(i) == State::Run)
                return true;
        }
        return false;
    }

    // The first Free file from `from` on, marked Busy by this thread; -1 when there is none.
    int claimFree(int from)
    {
        for (int i = from; i < count; ++i) {
            if (state(i) == State::Free && take(i, State::Free, State::Busy))
                return i;
        }
        return -1;
    }

    // The next file for a worker, marked Busy; -1 when there is none. Files ahead of the run
    // first (`ahead` tells), then those the run has searched (State::Run), which may have gone
    // without keeping.
    int claim(bool &ahead)
    {
        for (;;) {
            if (stop.load())
                return -1;
            ahead = true;
            // No file becomes Free again, and every file up to `reached` has been reached: the
            // scan goes on where the last one stopped, once over the list in all.
            const int index = claimFree(std::max(nextAhead.load(), reached.load() + 1));
            if (index >= 0) {
                int next = nextAhead.load();
                while (next < index + 1 && !nextAhead.compare_exchange_weak(next, index + 1)) {
                }
                return index;
            }
            ahead = false;
            std::unique_lock lock(mutex);
            // Only this pass moves nextRun forward, one thread at a time; it moves back by a
            // compare-and-swap, which the one below then cannot undo.
            const int seenReached = reached.load();
            if (runs.load() > 0) {
                const int start = nextRun.load();
                const int last = std::min(seenReached, count);
                for (int i = start; i < last; ++i) {
                    if (state(i) == State::Run && take(i, State::Run, State::Busy)) {
                        --runs;
                        int expected = start;
                        nextRun.compare_exchange_strong(expected, i + 1);
                        return i;
                    }
                }
                int expected = start;
                nextRun.compare_exchange_strong(expected, last);
            }
            if (ended.load() || stop.load())
                return -1;
            // Nothing to do until the run passes a file it leaves Run (files Run ahead of it
            // wait for it to pass them; a worker's setRun behind it takes the lock held here).
            // What the pass looked at is looked at again after the count is raised, so that a
            // file passed meanwhile by a run that did not see the count is not slept through.
            ++waitingWorkers;
            bool work = passedRun(seenReached, reached.load());
            for (int i = std::max(nextAhead.load(), seenReached + 1); i < count && !work; ++i)
                work = state(i) == State::Free;
            if (!work && !ended.load() && !stop.load())
                changed.wait_for(lock, std::chrono::milliseconds(100));
            --waitingWorkers;
        }
    }

    FileSearchOptions searchOptions() const
    {
        FileSearchOptions options;
        options.textCache = cache;
        options.readers = readers;
        options.keepLaterBelowMs = keepLaterBelowMs;
        return options;
    }

    void finish(int index, bool later)
    {
        if (later) {
            setRun(index);
            wake(waitingWorkers);
        } else {
            states[size_t(index)].store(State::Done);
        }
        wake(waitingRuns);
    }

    // Ahead of the run, with the run's keyword known, any file is searched for it with `search`
    // as the run would search it (a document's text kept in the cache on the way), and the answer
    // waits for the run in `results`. Otherwise (the files the run has passed, or no keyword yet)
    // a document is only extracted into the cache, unless its text is kept already; the office
    // packages whose raw bytes usually decide a search faster than their extraction takes are
    // then left for later. True: the file is to be gone over again once the run has passed it,
    // its text not being kept yet.
    // `keepGoing`, when given, is asked between pieces of text: false abandons the file.
    bool keep(int index, bool ahead, FileSearch &search, KnownKeyword &known,
              const std::function<bool()> &keepGoing = {})
    {
        const QString &path = paths.at(index);
        platform::WorkMonitor watched([&] {
            tellProgress(index, watched.progress());
            return !stop.load() && (!keepGoing || keepGoing());
        });
        std::shared_ptr<const Keyword> word;
        int wordGeneration = -1;
        if (ahead) {
            // The lock only when the keyword has changed since this thread last read it.
            if (known.generation != generation.load()) {
                std::lock_guard lock(mutex);
                known.word = keyword;
                known.generation = generation.load();
            }
            word = known.word;
            wordGeneration = known.generation;
        }
        // The run's own thread (the one that passes `keepGoing`) always searches, also without a
        // keyword: the search makes the long library calls (a PDF page, a picture's recognition)
        // on a thread of its own and asks `keepGoing` all along, where an extraction here would
        // hold the run inside them.
        if ((word && !word->text().isEmpty()) || keepGoing) {
            static const std::shared_ptr<const Keyword> none = Keyword::compile(QString());
            FileSearchResult result = search.search(path, word ? *word : *none, watched);
            if (result.outcome == FileSearchResult::Outcome::Stopped)
                return false;
            const bool goBack =
                (result.readAs == FileSearchResult::ReadAs::Document && !result.textKept) ||
                search.leftToKeep();
            results[size_t(index)] = Result{wordGeneration, std::move(result)};
            return goBack;
        }
        const Keeping keeping = keepDocumentText(
            path, readers ? *readers : formats::defaultReaders(), *cache, ahead, watched);
        if (keeping == Keeping::Carrying && !watched.cancelled()) {
            // The files it carries are kept by a search of it for no keyword, each stored as
            // it is read.
            static const std::shared_ptr<const Keyword> none = Keyword::compile(QString());
            search.setKeepLaterBelow(-1);
            search.search(path, *none, watched);
            search.setKeepLaterBelow(keepLaterBelowMs);
        }
        return keeping == Keeping::Later;
    }

    void work()
    {
        FileSearch search(searchOptions());
        KnownKeyword known;
        for (;;) {
            if (stop.load())
                break;
            bool ahead = false;
            const int index = claim(ahead);
            if (index < 0)
                break;
            finish(index, keep(index, ahead, search, known));
        }
    }
};

DocumentPrefetch::DocumentPrefetch(textcache::TextCache &cache, QStringList paths, int workers,
                                   std::shared_ptr<const Keyword> keyword,
                                   const formats::Readers *readers, int keepLaterBelowMs)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->cache = &cache;
    m_shared->readers = readers;
    m_shared->keepLaterBelowMs = keepLaterBelowMs;
    m_shared->keyword = std::move(keyword);
    m_runKeyword = m_shared->keyword;
    m_shared->count = int(paths.size());
    m_shared->states = std::make_unique<std::atomic<Shared::State>[]>(size_t(paths.size()));
    for (int i = 0; i < m_shared->count; ++i)
        m_shared->states[size_t(i)].store(Shared::State::Free, std::memory_order_relaxed);
    m_shared->results.resize(size_t(paths.size()));
    m_shared->paths = std::move(paths);
    if (!cache.usable())
        return;
    m_shared->workersLeft.store(workers);
    const auto stop = [shared = m_shared] {
        {
            // Under the lock, so that a worker about to wait cannot miss it.
            const std::lock_guard lock(shared->mutex);
            shared->stop.store(true);
        }
        shared->changed.notify_all();
    };
    m_workers.reserve(size_t(std::max(workers, 0)));
    for (int i = 0; i < workers; ++i) {
        ++g_runningWorkers;
        m_workers.emplace_back(
            "search worker",
            [shared = m_shared]() mutable {
                shared->work();
                // The summaries of what this prefetch kept, for the next process's search.
                if (--shared->workersLeft == 0)
                    shared->cache->saveSummaries();
                shared.reset();
                --g_runningWorkers;
            },
            stop);
    }
}

DocumentPrefetch::~DocumentPrefetch()
{
    // Each worker ends at its next piece of text or page; the registry joins it then.
    for (platform::OwnedThread &worker : m_workers)
        worker.stopAndRelease();
}

void DocumentPrefetch::stopAndWait()
{
    for (platform::OwnedThread &worker : m_workers)
        worker.stopAndJoin();
}

int DocumentPrefetch::spareCores()
{
    return std::max(0, QThread::idealThreadCount() - 1);
}

bool DocumentPrefetch::reached(int index)
{
    Shared &shared = *m_shared;
    const int before = shared.reached.load();
    if (index > before) {
        shared.reached.store(index);
        shared.reachedIndex.store(index, std::memory_order_relaxed);
        // A file the run has now passed and left Run is a worker's to go back to; a worker
        // only sleeps when there is nothing else, so it is woken only then.
        if (shared.passedRun(before, index))
            shared.wake(shared.waitingWorkers);
    }
    Shared::State state = shared.state(index);
    if (state == Shared::State::Free) {
        if (shared.take(index, Shared::State::Free, Shared::State::Run)) {
            ++shared.runs;
            shared.setRunHint(index);
            state = Shared::State::Run;
        } else {
            state = shared.state(index);
        }
    }
    return state == Shared::State::Busy;
}

void DocumentPrefetch::nothingToKeep(int index)
{
    if (m_shared->take(index, Shared::State::Run, Shared::State::Done))
        --m_shared->runs;
}

void DocumentPrefetch::runEnded()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->reached.store(m_shared->count);
        m_shared->ended.store(true);
    }
    m_shared->changed.notify_all();
}

bool DocumentPrefetch::waitUntilDone(int index, int timeoutMs)
{
    Shared &shared = *m_shared;
    const auto done = [&] { return shared.state(index) != Shared::State::Busy; };
    if (done() || timeoutMs <= 0)
        return done();
    std::unique_lock lock(shared.mutex);
    ++shared.waitingRuns;
    const bool result = shared.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    --shared.waitingRuns;
    return result;
}

void DocumentPrefetch::waitFor(int index, platform::WorkMonitor &monitor)
{
    const auto keepGoing = [&monitor] { return monitor.keepGoing(); };
    int after = index + 1; // no Free file between index and it
    while (!waitUntilDone(index, 0) && keepGoing()) {
        // Rather than idle, this thread extracts a file further on, so that every core works
        // while the run waits; the run comes to that file later and finds its answer ready.
        const int other = m_shared->claimFree(after);
        if (other < 0) {
            waitUntilDone(index, 5);
            continue;
        }
        after = other + 1;
        if (!m_search)
            m_search = std::make_unique<FileSearch>(m_shared->searchOptions());
        m_shared->finish(other, m_shared->keep(other, true, *m_search, m_known, keepGoing));
    }
}

int DocumentPrefetch::progressOf(int index) const
{
    const qint64 told = m_shared->reachedProgress.load(std::memory_order_relaxed);
    return told >> 32 == index ? int(told & 0xFFFFFFFF) : 0;
}

std::optional<FileSearchResult> DocumentPrefetch::takeResult(int index, const Keyword &keyword)
{
    // The slot is written only by the thread that had the file Busy, before it marked it Done;
    // the run reads it after seeing that.
    std::optional<Shared::Result> &slot = m_shared->results[size_t(index)];
    std::optional<FileSearchResult> result;
    if (slot && slot->generation == m_runGeneration && m_runKeyword &&
        keyword.text() == m_runKeyword->text())
        result = std::move(slot->result);
    slot.reset();
    return result;
}

void DocumentPrefetch::setKeyword(std::shared_ptr<const Keyword> keyword)
{
    if (keyword == m_runKeyword)
        return;
    m_runKeyword = keyword;
    std::lock_guard lock(m_shared->mutex);
    m_shared->keyword = keyword;
    m_runGeneration = m_shared->generation.load() + 1;
    m_shared->generation.store(m_runGeneration);
}

int DocumentPrefetch::runningWorkers()
{
    return g_runningWorkers.load();
}

} // namespace search
