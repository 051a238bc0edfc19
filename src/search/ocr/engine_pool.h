#pragma once

#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace ocr {

// The loaded engines of one kind (an engine costs a good part of a second and some 100 MiB to
// load), at most one per core, lent to the thread that recognises; a thread that finds none free
// waits for one. The pool is never destroyed: a worker still reading a page when the program ends
// (X closes it at once, without waiting for workers) gives its engine back to a pool that is
// still there.
template <class Engine> class EnginePool
{
public:
    static EnginePool &instance()
    {
        static EnginePool *const pool = new EnginePool;
        return *pool;
    }

    // An idle engine that `usable` accepts (one it refuses is dropped), else a new one from
    // `make`, which may throw.
    template <class Usable, class Make>
    std::unique_ptr<Engine> take(const Usable &usable, const Make &make)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_idle.empty() || m_made < m_limit; });
        if (!m_idle.empty()) {
            std::unique_ptr<Engine> engine = std::move(m_idle.back());
            m_idle.pop_back();
            if (usable(*engine))
                return engine;
            --m_made;
        }
        ++m_made;
        lock.unlock();
        try {
            return make();
        } catch (...) {
            drop();
            throw;
        }
    }

    // Takes `engine` back to lend it again; with `keep` false (an engine that failed to load, to
    // be tried again next time) it is dropped.
    void give(std::unique_ptr<Engine> engine, bool keep = true)
    {
        {
            std::lock_guard lock(m_mutex);
            if (keep)
                m_idle.push_back(std::move(engine));
            else
                --m_made;
        }
        m_changed.notify_one();
    }

private:
    EnginePool() : m_limit(std::max(1, QThread::idealThreadCount())) {}

    void drop()
    {
        {
            std::lock_guard lock(m_mutex);
            --m_made;
        }
        m_changed.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Engine>> m_idle;
    int m_made = 0;
    const int m_limit;
};

} // namespace ocr
