#include "search/core/document_prefetch.h"

#include "search/cache/text_cache.h"
#include "search/core/file_search.h"
#include "search/core/search_text.h"
#include "search/documents/document_text.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace search {

namespace {
std::atomic<int> g_runningWorkers{0};
}

struct DocumentPrefetch::Shared
{
    enum class State : char { Free, Busy, Done, Run };

    textcache::TextCache *cache = nullptr;
    QStringList paths;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<State> states;
    // A document searched ahead of the run, with the keyword it was searched for.
    struct Result
    {
        QString keyword;
        FileSearchResult result;
    };
    std::vector<std::optional<Result>> results;
    QString keyword; // the run's, for the searches ahead
    int reached = -1;
    int nextAhead = 0; // no Free file before it
    int nextRun = 0;   // no Run file before it
    bool ended = false;

    // A file becomes Run: the scan for them must see it.
    void setRun(int index)
    {
        states[size_t(index)] = State::Run;
        nextRun = std::min(nextRun, index);
        ++runs;
    }
    int runs = 0; // files in State::Run
    std::atomic<bool> stop{false};

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

    // The next file for a worker, marked Busy; -1 when there is none. Files ahead of the run
    // first (`ahead` tells), then those the run has searched (State::Run), which may have gone
    // without keeping.
    int claim(bool &ahead)
    {
        std::unique_lock lock(mutex);
        for (;;) {
            if (stop.load())
                return -1;
            ahead = true;
            // No file becomes Free again, and every file up to `reached` has been reached: the
            // scan goes on where the last one stopped, once over the list in all.
            for (nextAhead = std::max(nextAhead, reached + 1); nextAhead < int(states.size());
                 ++nextAhead) {
                if (states[size_t(nextAhead)] == State::Free) {
                    states[size_t(nextAhead)] = State::Busy;
                    return nextAhead++;
                }
            }
            ahead = false;
            for (; nextRun < std::min(reached, int(states.size())); ++nextRun) {
                if (states[size_t(nextRun)] == State::Run) {
                    states[size_t(nextRun)] = State::Busy;
                    --runs;
                    return nextRun++;
                }
            }
            if (ended)
                return -1;
            // Nothing to do until the run moves on.
            changed.wait(lock);
        }
    }

    // The first free file after `index`, marked Busy, for the run's own thread to extract while
    // it waits for a worker; -1 when there is none.
    int claimAfter(int index)
    {
        std::lock_guard lock(mutex);
        for (int i = index + 1; i < int(states.size()); ++i) {
            if (states[size_t(i)] == State::Free) {
                states[size_t(i)] = State::Busy;
                return i;
            }
        }
        return -1;
    }

    FileSearchOptions searchOptions() const
    {
        FileSearchOptions options;
        options.textCache = cache;
        return options;
    }

    void finish(int index, bool later)
    {
        {
            std::lock_guard lock(mutex);
            if (later)
                setRun(index);
            else
                states[size_t(index)] = State::Done;
        }
        changed.notify_all();
    }

    // Ahead of the run, with the run's keyword known, any file is searched for it with `search`
    // as the run would search it (a document's text kept in the cache on the way), and the answer
    // waits for the run in `results`. Otherwise (the files the run has passed, or no keyword yet)
    // a document is only extracted into the cache, unless its text is kept already; the office
    // packages whose raw bytes usually decide a search faster than their extraction takes are
    // then left for later. True: the file is to be gone over again once the run has passed it,
    // its text not being kept yet.
    // `keepGoing`, when given, is asked between pieces of text: false abandons the file.
    bool keep(int index, bool ahead, FileSearch &search,
              const std::function<bool()> &keepGoing = {})
    {
        const QString &path = paths.at(index);
        const auto goOn = [&] {
            tellProgress(index, search.progress());
            return !stop.load() && (!keepGoing || keepGoing());
        };
        QString word;
        if (ahead) {
            std::lock_guard lock(mutex);
            word = keyword;
        }
        // The run's own thread (the one that passes `keepGoing`) always searches, also without a
        // keyword: the search makes the long library calls (a PDF page, a picture's recognition)
        // on a thread of its own and asks `keepGoing` all along, where an extraction here would
        // hold the run inside them.
        if (!word.isEmpty() || keepGoing) {
            FileSearchResult result = search.search(path, word, goOn);
            if (result.outcome == FileSearchResult::Outcome::Stopped)
                return false;
            const FileSearchStats &stats = search.stats();
            std::lock_guard lock(mutex);
            results[size_t(index)] = Result{std::move(word), std::move(result)};
            return stats.document && !stats.fromCache && !stats.storedInCache;
        }
        const documents::Source source(path);
        const QByteArray head = source.head(kDocumentHeadSize);
        if (!documents::mayBeDocument(head))
            return false;
        const std::optional<textcache::FileKey> key = textcache::FileKey::of(path);
        const QByteArray version = documents::extractorVersion();
        if (!key || cache->contains(*key, version))
            return false;
        const documents::Kind kind = documents::recognise(source, head);
        if (kind == documents::Kind::NotDocument)
            return false;
        if (ahead &&
            (kind == documents::Kind::OfficeOpenXml || kind == documents::Kind::OpenDocument))
            return true;
        QString text;
        bool tooLong = false;
        bool abandoned = false;
        const documents::Outcome outcome = documents::extractText(
            source, kind,
            [&](QStringView piece) {
                if (!goOn()) {
                    abandoned = true;
                    return false;
                }
                if (text.size() + piece.size() > textcache::TextCache::kMaxTextChars) {
                    tooLong = true;
                    return false;
                }
                text.append(piece);
                return true;
            },
            &stop, [&](int permille) { tellProgress(index, permille); });
        if (!tooLong && !abandoned && outcome != documents::Outcome::Stopped && !stop.load())
            cache->store(*key, version, {}, quint8(outcome), text);
        return false;
    }

    void work()
    {
        FileSearch search(searchOptions());
        for (;;) {
            if (stop.load())
                break;
            bool ahead = false;
            const int index = claim(ahead);
            if (index < 0)
                break;
            finish(index, keep(index, ahead, search));
        }
    }
};

DocumentPrefetch::DocumentPrefetch(textcache::TextCache &cache, QStringList paths, int workers,
                                   QString keyword)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->cache = &cache;
    m_shared->keyword = std::move(keyword);
    m_shared->states.assign(size_t(paths.size()), Shared::State::Free);
    m_shared->results.resize(size_t(paths.size()));
    m_shared->paths = std::move(paths);
    if (!cache.usable())
        return;
    for (int i = 0; i < workers; ++i) {
        ++g_runningWorkers;
        std::thread([shared = m_shared] {
            shared->work();
            --g_runningWorkers;
        }).detach();
    }
}

DocumentPrefetch::~DocumentPrefetch()
{
    {
        // Under the lock, so that a worker about to wait cannot miss it.
        std::lock_guard lock(m_shared->mutex);
        m_shared->stop.store(true);
    }
    m_shared->changed.notify_all();
}

int DocumentPrefetch::spareCores()
{
    return std::max(0, QThread::idealThreadCount() - 1);
}

bool DocumentPrefetch::reached(int index)
{
    bool busy = false;
    bool newWork = false;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->reached = std::max(m_shared->reached, index);
        m_shared->reachedIndex.store(m_shared->reached, std::memory_order_relaxed);
        Shared::State &state = m_shared->states[size_t(index)];
        busy = state == Shared::State::Busy;
        if (state == Shared::State::Free)
            m_shared->setRun(index);
        // Files the run has gone past are the workers' to go back to; with none, waking them
        // would only cost a switch to their thread and back for every file of the run.
        newWork = m_shared->runs > 0;
    }
    if (newWork)
        m_shared->changed.notify_all();
    return busy;
}

void DocumentPrefetch::searchedAsText(int index)
{
    std::lock_guard lock(m_shared->mutex);
    Shared::State &state = m_shared->states[size_t(index)];
    if (state == Shared::State::Run) {
        state = Shared::State::Done;
        --m_shared->runs;
    }
}

void DocumentPrefetch::runEnded()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->reached = int(m_shared->states.size());
        m_shared->ended = true;
    }
    m_shared->changed.notify_all();
}

bool DocumentPrefetch::waitUntilDone(int index, int timeoutMs)
{
    std::unique_lock lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_shared->states[size_t(index)] != Shared::State::Busy;
    });
}

void DocumentPrefetch::waitFor(int index, const std::function<bool()> &keepGoing)
{
    while (!waitUntilDone(index, 0) && keepGoing()) {
        // Rather than idle, this thread extracts a file further on, so that every core works
        // while the run waits; the run comes to that file later and finds its answer ready.
        const int other = m_shared->claimAfter(index);
        if (other < 0) {
            waitUntilDone(index, 5);
            continue;
        }
        if (!m_search)
            m_search = std::make_unique<FileSearch>(m_shared->searchOptions());
        m_shared->finish(other, m_shared->keep(other, true, *m_search, keepGoing));
    }
}

int DocumentPrefetch::progressOf(int index) const
{
    const qint64 told = m_shared->reachedProgress.load(std::memory_order_relaxed);
    return told >> 32 == index ? int(told & 0xFFFFFFFF) : 0;
}

std::optional<FileSearchResult> DocumentPrefetch::takeResult(int index, const QString &keyword)
{
    std::lock_guard lock(m_shared->mutex);
    std::optional<Shared::Result> &slot = m_shared->results[size_t(index)];
    std::optional<FileSearchResult> result;
    if (slot && slot->keyword == keyword)
        result = std::move(slot->result);
    slot.reset();
    return result;
}

void DocumentPrefetch::setKeyword(const QString &keyword)
{
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->keyword != keyword)
        m_shared->keyword = keyword;
}

int DocumentPrefetch::runningWorkers()
{
    return g_runningWorkers.load();
}

} // namespace search
