#include "platform/core/read_ahead.h"

#include "platform/core/paths.h"

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace platform {

struct ReadAhead::Shared
{
    QStringList paths;
    int depth = 0;
    std::mutex mutex;
    std::condition_variable wake;
    int reached = 0;
    bool stop = false;

    void work()
    {
        for (int next = 0; next < paths.size(); ++next) {
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return stop || next < reached + depth; });
                if (stop)
                    return;
                if (next < reached)
                    continue; // the search got there first
            }
            // Non-blocking: a FIFO among the files must not hold the worker.
            const int fd = ::open(platform::nativePath(paths.at(next)).constData(),
                                  O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0) {
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
                ::close(fd);
            }
        }
    }
};

ReadAhead::ReadAhead(QStringList paths, int depth) : m_shared(std::make_shared<Shared>())
{
    m_shared->paths = std::move(paths);
    m_shared->depth = depth;
    if (m_shared->paths.size() < 2)
        return; // nothing to read ahead of
    std::thread([shared = m_shared] { shared->work(); }).detach();
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stop = true;
    }
    m_shared->wake.notify_all();
}

void ReadAhead::reached(int index)
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->reached = index;
    }
    m_shared->wake.notify_all();
}

} // namespace platform
