#pragma once

#include "search/archives/archive_walk.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>

namespace archives {

// What reading one archive may cost, all its levels of nesting and all their members together.
// An archive made to inflate without end (archives nested in archives sixteen to a level, each
// innermost member a run of one byte, as the well-known 42.zip) meets the check of each member
// (kBombFloor), or fails it one member at a time, a million times over; this bound ends the whole
// archive instead, which is then named damaged, and the search goes on with the next file. Two
// bounds, either of which ends it:
//
// - bytes: what libarchive gives out of the members of every level (a nested archive's bytes
//   count once where it is a member, and again as its own members inflate): at most 1,000 times
//   the archive file's size (kBombRatio, as for one member), and never less than twice the bound
//   of one member (kBombFloor), so that one bomb member ends only itself. An ordinary archive
//   inflates to a few times its size, rarely a hundred, nested archives counted twice or not;
// - time: what libarchive takes to read headers, inflate and skip, at every level and on every
//   thread, at most kTimeFloor plus kTimePerMiB for each MiB of the archive file. Waiting for
//   the disk, for the search of the members' text, for the readers of document members or for
//   the user is not counted, so an ordinary big archive on a slow stick is never cut short: it
//   would have to inflate at under 1 MiB of its own bytes a second.
//
// Charged from the thread that inflates ahead (ReadAhead) and from the walk's thread alike.
class ArchiveBudget
{
public:
    static constexpr qint64 kBytesFloor = 2 * kBombFloor;
    static constexpr qint64 kBytesRatio = kBombRatio;
    static constexpr std::chrono::seconds kTimeFloor{10};
    static constexpr std::chrono::seconds kTimePerMiB{1};

    // The budget of an archive file of `archiveSize` bytes (-1 when the size is not known).
    explicit ArchiveBudget(qint64 archiveSize);
    ArchiveBudget(const ArchiveBudget &) = delete;
    ArchiveBudget &operator=(const ArchiveBudget &) = delete;

    // Counts `bytes` more inflated and `work` more spent; false once either bound is passed,
    // by this charge or an earlier one.
    bool charge(qint64 bytes, std::chrono::nanoseconds work);
    bool spent() const { return m_spent.load(std::memory_order_relaxed); }

    qint64 byteLimit() const { return m_byteLimit; }
    std::chrono::nanoseconds timeLimit() const { return m_timeLimit; }

private:
    const qint64 m_byteLimit;
    const std::chrono::nanoseconds m_timeLimit;
    std::atomic<qint64> m_bytes{0};
    std::atomic<qint64> m_nanoseconds{0};
    std::atomic<bool> m_spent{false};
};

} // namespace archives
