#include "platform/core/read_ahead.h"

#include "platform/core/paths.h"

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <pthread.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>

namespace platform {

struct ReadAhead::Shared
{
    QStringList paths;
    int depth = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<int> reached{0};
    // The file the worker sleeps before, until the search comes within `depth` of it; none
    // while it works, so that the search only takes the lock to wake it when it waits.
    std::atomic<int> sleepingAt{std::numeric_limits<int>::max()};
    std::atomic<bool> stop{false};

    // Until the search is within `depth` of `next`; false when stopped.
    bool waitFor(int next)
    {
        if (next < reached.load() + depth)
            return !stop.load();
        std::unique_lock lock(mutex);
        sleepingAt.store(next);
        wake.wait(lock, [&] { return stop.load() || next < reached.load() + depth; });
        sleepingAt.store(std::numeric_limits<int>::max());
        return !stop.load();
    }

    void work()
    {
        // Files whose first page the system has cached already need no reading ahead, and on a
        // warm cache opening each file here only takes the other core from the search. After a
        // stretch of such files the worker looks at fewer and fewer of them (every second,
        // fourth, ... up to every 256th); the first one that is not cached sends it back over the
        // files it passed that the search has not reached, reading each ahead again.
        int warmRun = 0;
        int step = 1;
        int lastSeen = -1;
        for (int next = 0; next < paths.size();) {
            if (!waitFor(next))
                return;
            if (next < reached.load()) {
                next = reached.load(); // the search got there first
                continue;
            }
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
            if (!cached && step > 1) {
                // Back over the files skipped since the last one looked at.
                step = 1;
                warmRun = 0;
                const int from = std::max(lastSeen + 1, reached.load());
                lastSeen = next;
                if (from < next) {
                    next = from;
                    continue;
                }
            }
            lastSeen = next;
            if (cached) {
                if (++warmRun >= kWarmRun && step < kLongestStep) {
                    step *= 2;
                    warmRun = 0;
                }
            } else {
                warmRun = 0;
            }
            next += step;
        }
    }

    static constexpr int kWarmRun = 16;
    static constexpr int kLongestStep = 256;
};

ReadAhead::ReadAhead(QStringList paths, int depth) : m_shared(std::make_shared<Shared>())
{
    m_shared->paths = std::move(paths);
    m_shared->depth = depth;
    if (m_shared->paths.size() < 2)
        return; // nothing to read ahead of
    std::thread([shared = m_shared] {
        ::pthread_setname_np(::pthread_self(), "read ahead");
        shared->work();
    }).detach();
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stop.store(true);
    }
    m_shared->wake.notify_all();
}

void ReadAhead::reached(int index)
{
    m_shared->reached.store(index);
    if (index + m_shared->depth > m_shared->sleepingAt.load()) {
        {
            std::lock_guard lock(m_shared->mutex);
        }
        m_shared->wake.notify_all();
    }
}

} // namespace platform
