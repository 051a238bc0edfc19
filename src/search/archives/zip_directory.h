#pragma once

#include <QByteArray>
#include <QSet>

#include <functional>

namespace archives {

// Gives `size` bytes of an archive from byte `offset` on (fewer only at its end); false when
// they cannot be read.
using ReadAt = std::function<bool(qint64 offset, qsizetype size, QByteArray &bytes)>;

// The central directory of a ZIP whose entries were laid over one another: the offsets of the
// local headers (counted from the archive's first byte) of every entry whose bytes overlap
// another entry's. Such entries are how a ZIP of a few kilobytes names the same compressed bytes
// thousands of times; a ZIP that is written as the format intends has none. Empty when no two
// entries overlap, or when the directory cannot be read (a cut archive is read as far as it goes
// instead).
QSet<qint64> overlappingZipEntries(qint64 archiveSize, const ReadAt &readAt);

// The directory is read only up to this size: larger ones are not checked.
inline constexpr qint64 kMaxZipDirectory = qint64(64) << 20;

} // namespace archives
