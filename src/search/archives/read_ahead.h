#pragma once

#include "platform/core/program.h"
#include "search/archives/archive_level.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace archives {

// The members of an archive inflated on a thread of its own, ahead of the walk that searches
// them: a bounded queue of the members' headers and bytes, in member order. Searching and
// inflating then take turns on two processors instead of one. The archive's level, with its
// checks (bombs, entries laid over one another), lives on that thread; `keepGoing` is polled
// here, on the walk's thread, and a stop ends the thread at its next block. Destroying the
// read-ahead stops the thread and joins it.
class ReadAhead : public MemberReader
{
public:
    // `open` makes the level, which then is read on the thread only; the level's own keepGoing
    // (given to `open`) says whether the walk still wants it.
    using Open = std::function<std::unique_ptr<Level>(std::function<bool()> wanted)>;
    ReadAhead(const Open &open, std::function<bool()> keepGoing);
    ~ReadAhead() override;
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // What the queue holds at most: more bytes than this wait until the walk took some.
    static constexpr qsizetype kQueueBytes = 8 << 20;
    static constexpr qsizetype kQueueEvents = 4096;
    // The thread hands over its events this many at a time (or this many bytes, or at the end).
    static constexpr qsizetype kBatchEvents = 64;
    static constexpr qsizetype kBatchBytes = 256 * 1024;

    Next next() override;
    int index() const override { return m_current.index; }
    const QString &memberPath() const override { return m_current.path; }
    qint64 memberSize() const override { return m_current.size; }
    bool memberEncrypted() const override { return m_current.encrypted; }
    qint64 readData(char *data, qsizetype size) override;
    Failure memberFailure() const override { return m_memberFailure; }
    Failure failure() const override { return m_failure; }
    bool stopped() const override { return m_stopped; }

private:
    // What the thread hands over: a member's header, a block of its bytes, its end, or the
    // archive's end.
    struct Event
    {
        enum class Type { Member, Data, MemberEnd, End };
        explicit Event(Type t) : type(t) {}
        Type type;
        int index = -1;
        int ordinal = 0; // of a member: 1 for the first, 2 for the next...
        QString path;
        qint64 size = -1;
        bool encrypted = false;
        Failure failure = Failure::None;
        Next next = Next::End;
        QByteArray bytes;
    };

    void produce();
    // On the thread: false once the walk is gone.
    bool push(Event &&event);
    // On the walk's thread: false on a stop.
    bool pop(Event &event);
    bool keepGoing();

    std::unique_ptr<Level> m_level;
    std::function<bool()> m_keepGoing;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Event> m_queue;
    qsizetype m_queuedBytes = 0;
    std::atomic<bool> m_cancel{false};
    // The ordinal of the last member the walk has left: the thread stops inflating a member the
    // walk no longer reads (the rest of a member after a hit), which the archive then skips.
    std::atomic<int> m_passed{0};
    platform::OwnedThread m_thread;
    // On the thread: the events not handed over yet.
    std::vector<Event> m_batch;
    qsizetype m_batchBytes = 0;

    Event m_current{Event::Type::Member};
    QByteArray m_block;
    qsizetype m_blockAt = 0;
    bool m_inMember = false;
    bool m_finished = false;
    Failure m_memberFailure = Failure::None;
    Failure m_failure = Failure::None;
    bool m_stopped = false;
};

} // namespace archives
