#pragma once

#include "search/documents/zip_directory.h"

#include <QSet>

namespace archives {

// The central directory of a ZIP whose entries were laid over one another: the offsets of the
// local headers (counted from the archive's first byte) of every entry whose bytes overlap
// another entry's. Such entries are how a ZIP of a few kilobytes names the same compressed bytes
// thousands of times; a ZIP that is written as the format intends has none. Empty when no two
// entries overlap, or when the directory cannot be read (a cut archive is read as far as it goes
// instead).
QSet<qint64> overlappingZipEntries(qint64 archiveSize, const documents::ReadAt &readAt);

} // namespace archives
