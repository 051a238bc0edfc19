#include "search/core/document_text_stream.h"

#include "platform/core/program.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace search {

namespace {
std::atomic<int> g_runningWorkers{0};
}

// What the caller and the worker share; the last of the two to let go frees it.
struct DocumentTextStream::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QString> pieces;
    qsizetype queued = 0;
    bool finished = false;
    documents::Outcome outcome = documents::Outcome::Done;
    // Cancelled when the stream goes; the worker's reader tells its progress through it.
    platform::WorkMonitor monitor;
};

DocumentTextStream::DocumentTextStream(std::unique_ptr<documents::Document> document)
    : m_shared(std::make_shared<Shared>())
{
    ++g_runningWorkers;
    const auto stop = [shared = m_shared] {
        {
            const std::lock_guard lock(shared->mutex);
            shared->monitor.cancel();
        }
        shared->changed.notify_all();
    };
    m_worker = std::make_unique<platform::OwnedThread>(
        "document text",
        [shared = m_shared,
         document = std::shared_ptr<documents::Document>(std::move(document))]() mutable {
            const auto out = [&shared](QStringView text) {
                std::unique_lock lock(shared->mutex);
                shared->changed.wait(lock, [&] {
                    return shared->queued < kMaxQueued || shared->monitor.cancelled();
                });
                if (shared->monitor.cancelled())
                    return false;
                shared->pieces.emplace_back(text.toString());
                shared->queued += text.size();
                shared->changed.notify_all();
                return true;
            };
            const documents::Outcome outcome = document->extract(out, shared->monitor);
            document.reset(); // what the reader opened, let go on the thread that used it
            {
                std::lock_guard lock(shared->mutex);
                shared->outcome = outcome;
                shared->finished = true;
            }
            shared->changed.notify_all();
            shared.reset(); // freed here when the stream is gone, before the worker counts as ended
            --g_runningWorkers;
        },
        stop);
}

DocumentTextStream::~DocumentTextStream()
{
    // The worker may be in the middle of a long page: the registry joins it once it is through.
    m_worker->stopAndRelease();
}

void DocumentTextStream::stopAndWait()
{
    m_worker->stopAndJoin();
}

DocumentTextStream::Status DocumentTextStream::next(QString &piece, int timeoutMs)
{
    std::unique_lock lock(m_shared->mutex);
    const bool ready =
        m_shared->changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [this] {
            return !m_shared->pieces.empty() || m_shared->finished;
        });
    if (!ready)
        return Status::Waiting;
    if (m_shared->pieces.empty())
        return Status::End;
    piece = std::move(m_shared->pieces.front());
    m_shared->pieces.pop_front();
    m_shared->queued -= piece.size();
    m_shared->changed.notify_all();
    return Status::Text;
}

documents::Outcome DocumentTextStream::outcome() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->outcome;
}

int DocumentTextStream::progress() const
{
    return m_shared->monitor.progress();
}

bool DocumentTextStream::recognising() const
{
    return m_shared->monitor.recognising();
}

int DocumentTextStream::runningWorkers()
{
    return g_runningWorkers.load();
}

} // namespace search
