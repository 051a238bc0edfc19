#include "search/archives/zip_overlaps.h"

#include <QList>

#include <algorithm>

namespace archives {

namespace {

// The local header before an entry's compressed bytes, without its name and extra field.
constexpr qint64 kLocalHeaderSize = 30;

struct Span
{
    qint64 start = 0; // the local header
    qint64 end = 0;   // past the compressed bytes
};

} // namespace

QSet<qint64> overlappingZipEntries(qint64 archiveSize, const documents::ReadAt &readAt)
{
    QSet<qint64> overlapping;
    const std::optional<std::vector<documents::ZipDirectoryEntry>> directory =
        documents::readZipDirectory(archiveSize, readAt);
    if (!directory)
        return overlapping;
    QList<Span> entries;
    entries.reserve(qsizetype(directory->size()));
    // The local header holds the name again; its extra field may differ and is left out, so
    // that the range is never taken longer than it is.
    for (const documents::ZipDirectoryEntry &entry : *directory)
        entries.append(Span{entry.localHeader, entry.localHeader + kLocalHeaderSize +
                                                   entry.name.size() + entry.compressed});
    std::sort(entries.begin(), entries.end(),
              [](const Span &a, const Span &b) { return a.start < b.start; });
    // In start order an entry overlaps another when it starts before an earlier one ends, or
    // when the next one starts before it ends.
    qint64 furthestEnd = -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Span &entry = entries.at(i);
        const bool overlapped = entry.start < furthestEnd ||
                                (i + 1 < entries.size() && entries.at(i + 1).start < entry.end);
        if (overlapped)
            overlapping.insert(entry.start);
        furthestEnd = std::max(furthestEnd, entry.end);
    }
    return overlapping;
}

} // namespace archives
