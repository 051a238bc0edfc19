#pragma once

#include "platform/core/program.h"

#include <QStringList>

#include <algorithm>
#include <memory>

namespace platform {

// Which of a run's files the read-ahead looks at, one after the other. A file whose first page
// the system has cached needs no reading ahead, and on a warm cache opening every file only
// takes the other core from the search: after a stretch of cached files the plan looks at fewer
// and fewer of them (every second, fourth, ... up to every 256th), each only once the search has
// passed the one looked at before. The first file found not cached sends it back over the files
// it skipped that the search has not reached, and on one by one again; a short stretch not cached
// between two files looked at may go unread ahead (the search then waits for it as it would
// without a read-ahead).
class ReadAheadPlan
{
public:
    explicit ReadAheadPlan(int depth) : m_depth(depth) {}

    // The file to look at next, the search being at `reached`.
    int next(int reached);
    // How far ahead of the search next() may be when it is looked at.
    int window() const { return std::max(m_depth, m_step); }
    // What looking at next() found: whether the file's first page was cached.
    void looked(bool cached, int reached);

    static constexpr int kWarmRun = 16; // cached files in a row before the step doubles
    static constexpr int kLongestStep = 256;

private:
    int m_depth;
    int m_next = 0;
    int m_step = 1;
    int m_warmRun = 0;
    int m_lastSeen = -1;
};

// Asks the system to read the next files of a run into its page cache while the current one is
// searched: a worker thread opens each in turn, at most `depth` files ahead of the search, hands
// it to posix_fadvise(WILLNEED), which starts the disk reads and returns, and closes it (only the
// files ReadAheadPlan picks, and only those not cached already). The
// bytes stay in the system's cache, not here, so memory does not grow; the search reads them
// from there in list order as before. On a cold disk the reads of the next files overlap the
// search of this one; on a warm cache the opening runs on the other core.
class ReadAhead
{
public:
    explicit ReadAhead(QStringList paths, int depth = 16);
    // Stops the worker without waiting for it (it may be inside a slow open): the process's
    // thread registry joins it once it has ended (OwnedThread::stopAndRelease).
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The search has come to paths[index].
    void reached(int index);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    OwnedThread m_worker;
};

} // namespace platform
