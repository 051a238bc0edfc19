#include "search/archives/read_ahead.h"

#include "platform/core/program.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace archives {

namespace {

constexpr qsizetype kBlockSize = 64 * 1024;
// While the walk waits for bytes, it asks whether to go on this often: a stop takes effect
// within this time even while a block is slow to inflate.
constexpr std::chrono::milliseconds kPollInterval(20);

} // namespace

ReadAhead::ReadAhead(const Open &open, std::function<bool()> keepGoing)
    : m_keepGoing(std::move(keepGoing))
{
    m_level = open([this] { return !m_cancel.load(std::memory_order_relaxed); });
    // A thread of the process's registry: the end of the process stops it too, also while the
    // walk that owns it is held further down a stack that is never unwound.
    m_thread = platform::OwnedThread(
        "archive read", [this] { produce(); },
        [this] {
            {
                const std::lock_guard lock(m_mutex);
                m_cancel = true;
            }
            m_changed.notify_all();
        });
}

ReadAhead::~ReadAhead()
{
    m_thread.stopAndJoin();
}

void ReadAhead::produce()
{
    Level &level = *m_level;
    int ordinal = 0;
    for (;;) {
        const Next next = level.next();
        if (next != Next::Member) {
            Event end(Event::Type::End);
            end.next = next;
            end.failure = level.failure();
            push(std::move(end));
            return;
        }
        Event member(Event::Type::Member);
        member.index = level.index();
        member.path = level.memberPath();
        member.size = level.memberSize();
        member.encrypted = level.memberEncrypted();
        member.failure = level.memberFailure();
        member.ordinal = ++ordinal;
        if (!push(std::move(member)))
            return;
        // An encrypted member, or one already named damaged, is passed over without its bytes.
        if (level.memberEncrypted() || level.memberFailure() != Failure::None)
            continue;
        for (;;) {
            if (m_passed.load(std::memory_order_relaxed) >= ordinal)
                break; // the walk has gone on: what is left of the member is not inflated
            const qint64 size = level.memberSize();
            const qsizetype room =
                size > 0 ? qsizetype(std::min<qint64>(size, kBlockSize)) : kBlockSize;
            Event data(Event::Type::Data);
            data.bytes.resize(room);
            const qint64 got = level.readData(data.bytes.data(), room);
            if (got > 0) {
                data.bytes.resize(qsizetype(got));
                if (!push(std::move(data)))
                    return;
                continue;
            }
            if (level.stopped())
                return;
            Event end(Event::Type::MemberEnd);
            end.failure = got < 0 ? level.memberFailure() : Failure::None;
            if (!push(std::move(end)))
                return;
            break;
        }
    }
}

bool ReadAhead::push(Event &&event)
{
    const bool last = event.type == Event::Type::End;
    m_batchBytes += event.bytes.size();
    m_batch.push_back(std::move(event));
    // Handed over in batches: a lock and a wake-up for each small member would cost as much as
    // searching it.
    if (!last && qsizetype(m_batch.size()) < kBatchEvents && m_batchBytes < kBatchBytes)
        return !m_cancel.load(std::memory_order_relaxed);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] {
        return m_cancel ||
               (m_queuedBytes < kQueueBytes && qsizetype(m_queue.size()) < kQueueEvents);
    });
    if (m_cancel)
        return false;
    m_queuedBytes += m_batchBytes;
    const bool wasEmpty = m_queue.empty();
    for (Event &queued : m_batch)
        m_queue.push_back(std::move(queued));
    m_batch.clear();
    m_batchBytes = 0;
    lock.unlock();
    if (wasEmpty)
        m_changed.notify_all();
    return true;
}

bool ReadAhead::pop(Event &event)
{
    std::unique_lock lock(m_mutex);
    while (m_queue.empty()) {
        if (m_changed.wait_for(lock, kPollInterval) == std::cv_status::timeout) {
            lock.unlock();
            if (!keepGoing())
                return false;
            lock.lock();
        }
    }
    const bool wasFull = m_queuedBytes >= kQueueBytes || qsizetype(m_queue.size()) >= kQueueEvents;
    event = std::move(m_queue.front());
    m_queue.pop_front();
    m_queuedBytes -= event.bytes.size();
    lock.unlock();
    if (wasFull)
        m_changed.notify_all();
    return true;
}

bool ReadAhead::keepGoing()
{
    if (!m_stopped && m_keepGoing && !m_keepGoing())
        m_stopped = true;
    return !m_stopped;
}

MemberReader::Next ReadAhead::next()
{
    if (m_stopped || !keepGoing())
        return Next::Failed;
    if (m_finished)
        return Next::End;
    // What is left of the member before is passed over.
    m_passed.store(m_current.ordinal, std::memory_order_relaxed);
    m_block = QByteArray();
    m_blockAt = 0;
    for (;;) {
        Event event(Event::Type::End);
        if (!pop(event))
            return Next::Failed;
        if (event.type == Event::Type::End) {
            m_finished = true;
            m_inMember = false;
            m_failure = event.failure;
            return event.next;
        }
        if (event.type == Event::Type::Member) {
            m_memberFailure = event.failure;
            m_inMember = !event.encrypted && event.failure == Failure::None;
            m_current = std::move(event);
            return Next::Member;
        }
    }
}

qint64 ReadAhead::readData(char *data, qsizetype size)
{
    if (m_memberFailure != Failure::None || m_stopped)
        return -1;
    if (!keepGoing())
        return -1;
    while (m_blockAt >= m_block.size()) {
        if (!m_inMember)
            return 0;
        Event event(Event::Type::End);
        if (!pop(event))
            return -1;
        if (event.type == Event::Type::Data) {
            m_block = std::move(event.bytes);
            m_blockAt = 0;
            continue;
        }
        m_inMember = false;
        if (event.type == Event::Type::MemberEnd) {
            if (event.failure == Failure::None)
                return 0;
            m_memberFailure = event.failure;
            return -1;
        }
        // Never after a member's header without its end; taken as the archive's end all the same.
        m_finished = true;
        m_failure = event.failure;
        return 0;
    }
    const qsizetype n = std::min(size, m_block.size() - m_blockAt);
    std::memcpy(data, m_block.constData() + m_blockAt, size_t(n));
    m_blockAt += n;
    return n;
}

} // namespace archives
