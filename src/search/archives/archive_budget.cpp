#include "search/archives/archive_budget.h"

#include <algorithm>
#include <limits>

namespace archives {

namespace {

qint64 byteLimitFor(qint64 archiveSize)
{
    const qint64 size = std::max<qint64>(archiveSize, 0);
    // Past this size the product would not fit; such an archive has no byte bound worth keeping.
    if (size > std::numeric_limits<qint64>::max() / ArchiveBudget::kBytesRatio)
        return std::numeric_limits<qint64>::max();
    return std::max(ArchiveBudget::kBytesFloor, size * ArchiveBudget::kBytesRatio);
}

std::chrono::nanoseconds timeLimitFor(qint64 archiveSize)
{
    const qint64 mebibytes = std::max<qint64>(archiveSize, 0) >> 20;
    return ArchiveBudget::kTimeFloor + ArchiveBudget::kTimePerMiB * mebibytes;
}

} // namespace

ArchiveBudget::ArchiveBudget(qint64 archiveSize)
    : m_byteLimit(byteLimitFor(archiveSize)), m_timeLimit(timeLimitFor(archiveSize))
{}

bool ArchiveBudget::charge(qint64 bytes, std::chrono::nanoseconds work)
{
    const qint64 total = m_bytes.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    const qint64 nanoseconds =
        m_nanoseconds.fetch_add(qint64(work.count()), std::memory_order_relaxed) +
        qint64(work.count());
    if (total > m_byteLimit || nanoseconds > m_timeLimit.count())
        m_spent.store(true, std::memory_order_relaxed);
    return !spent();
}

} // namespace archives
