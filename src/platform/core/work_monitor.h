#pragma once

#include <atomic>
#include <functional>
#include <utility>

namespace platform {

// How one piece of work (the search of a file, the extraction of a document) is told to stop and
// tells how far it has come: one object shared by the thread that asked for the work and the
// threads doing it, in place of stop flags, callbacks and polled counters side by side.
//
// keepGoing() runs on the asking thread: it calls the poll given at construction (where a search
// lets the user interface run) and says whether to go on. cancel(), cancelled() and the progress
// may be used from any thread.
class WorkMonitor
{
public:
    WorkMonitor() = default;
    // `poll` returns false to cancel the work.
    explicit WorkMonitor(std::function<bool()> poll) : m_poll(std::move(poll)) {}
    WorkMonitor(const WorkMonitor &) = delete;
    WorkMonitor &operator=(const WorkMonitor &) = delete;

    // On the asking thread: polls, and returns false once the work is cancelled.
    bool keepGoing()
    {
        if (!cancelled() && m_poll && !m_poll())
            cancel();
        return !cancelled();
    }

    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    // The flag itself, for a library that polls a flag of its own.
    const std::atomic<bool> &cancelFlag() const { return m_cancelled; }

    // How far the work has come through its file, in thousandths (0..1000), told by the thread
    // doing it. `observer` (set before the work starts) hears every new figure on that thread.
    void setProgress(int permille)
    {
        m_progress.store(permille, std::memory_order_relaxed);
        if (m_observer)
            m_observer(permille);
    }
    int progress() const { return m_progress.load(std::memory_order_relaxed); }
    void setProgressObserver(std::function<void(int permille)> observer)
    {
        m_observer = std::move(observer);
    }

    // Set by a reader while it recognises the text of a page or picture (seconds each), cleared
    // before it hands that text out: a search that has its answer stops when more recognition
    // begins instead of reading on for the text cache, and the document is read whole for the
    // cache later. Any thread.
    void setRecognising(bool on) { m_recognising.store(on, std::memory_order_relaxed); }
    bool recognising() const { return m_recognising.load(std::memory_order_relaxed); }

private:
    std::function<bool()> m_poll;
    std::function<void(int)> m_observer;
    std::atomic<bool> m_cancelled{false};
    std::atomic<int> m_progress{0};
    std::atomic<bool> m_recognising{false};
};

} // namespace platform
