#include "search/core/document_prefetch.h"

#include "search/cache/text_cache.h"
#include "search/core/search_text.h"
#include "search/documents/document_text.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
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

    // Extracts one file into the cache, unless it is no document or its text is kept already.
    // Ahead of the run, the office packages whose raw bytes usually decide a search faster than
    // their extraction takes are left for later (true): the run would only wait for them.
    bool keep(const QString &path, bool ahead)
    {
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
        const documents::Outcome outcome = documents::extractText(
            source, kind,
            [&](QStringView piece) {
                if (text.size() + piece.size() > textcache::TextCache::kMaxTextChars) {
                    tooLong = true;
                    return false;
                }
                text.append(piece);
                return true;
            },
            &stop);
        if (!tooLong && outcome != documents::Outcome::Stopped && !stop.load())
            cache->store(*key, version, {}, quint8(outcome), text);
        return false;
    }

    void work()
    {
        for (;;) {
            if (stop.load())
                break;
            bool ahead = false;
            const int index = claim(ahead);
            if (index < 0)
                break;
            finish(index, keep(paths.at(index), ahead));
        }
    }
};

DocumentPrefetch::DocumentPrefetch(textcache::TextCache &cache, QStringList paths, int workers)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->cache = &cache;
    m_shared->states.assign(size_t(paths.size()), Shared::State::Free);
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

int DocumentPrefetch::runningWorkers()
{
    return g_runningWorkers.load();
}

} // namespace search
