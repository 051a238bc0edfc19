#include "platform/core/read_ahead.h"

#include "platform/core/paths.h"
#include "platform/core/program.h"

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/uio.h>
#include <unistd.h>

namespace platform {

int ReadAheadPlan::next(int reached)
{
    m_next = std::max(m_next, reached);
    return m_next;
}

void ReadAheadPlan::looked(bool cached, int reached)
{
    if (!cached && m_step > 1) {
        // Back over the files skipped since the last one looked at that the search has not
        // reached yet.
        m_step = 1;
        m_warmRun = 0;
        const int from = std::max(m_lastSeen + 1, reached);
        m_lastSeen = m_next;
        if (from < m_next) {
            m_next = from;
            return;
        }
    }
    m_lastSeen = m_next;
    if (!cached) {
        m_warmRun = 0;
    } else if (++m_warmRun >= kWarmRun && m_step < kLongestStep) {
        m_step *= 2;
        m_warmRun = 0;
    }
    m_next += m_step;
}

struct ReadAhead::Shared
{
    QStringList paths;
    int depth = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<int> reached{0};
    // The place the search must reach for the sleeping worker to go on; none while it works, so
    // that the search only takes the lock to wake it when it waits.
    std::atomic<int> wakeAt{std::numeric_limits<int>::max()};
    std::atomic<bool> stop{false};

    // Until the search has come to `from`; false when stopped.
    bool waitUntilReached(int from)
    {
        if (reached.load() >= from)
            return !stop.load();
        std::unique_lock lock(mutex);
        wakeAt.store(from);
        wake.wait(lock, [&] { return stop.load() || reached.load() >= from; });
        wakeAt.store(std::numeric_limits<int>::max());
        return !stop.load();
    }

    void work()
    {
        ReadAheadPlan plan(depth);
        for (;;) {
            const int next = plan.next(reached.load());
            if (next >= paths.size())
                return;
            if (!waitUntilReached(next - plan.window() + 1))
                return;
            if (next < reached.load())
                continue; // the search got there first
            // Non-blocking: a FIFO among the files must not hold the worker.
            const int fd = ::open(platform::nativePath(paths.at(next)).constData(),
                                  O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            bool cached = false;
            if (fd >= 0) {
                char byte;
                iovec one{&byte, 1};
                // Fails with EAGAIN when the page is not cached (and on systems or files that
                // cannot tell, which are then read ahead as before).
                cached = ::preadv2(fd, &one, 1, 0, RWF_NOWAIT) >= 0;
                if (!cached)
                    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
                ::close(fd);
            }
            plan.looked(cached, reached.load());
        }
    }
};

ReadAhead::ReadAhead(QStringList paths, int depth) : m_shared(std::make_shared<Shared>())
{
    m_shared->paths = std::move(paths);
    m_shared->depth = depth;
    if (m_shared->paths.size() < 2)
        return; // nothing to read ahead of
    m_worker = OwnedThread(
        "read ahead", [shared = m_shared] { shared->work(); },
        [shared = m_shared] {
            {
                const std::lock_guard lock(shared->mutex);
                shared->stop.store(true);
            }
            shared->wake.notify_all();
        });
}

ReadAhead::~ReadAhead()
{
    m_worker.stopAndRelease();
}

void ReadAhead::reached(int index)
{
    m_shared->reached.store(index);
    if (index >= m_shared->wakeAt.load()) {
        {
            std::lock_guard lock(m_shared->mutex);
        }
        m_shared->wake.notify_all();
    }
}

} // namespace platform
