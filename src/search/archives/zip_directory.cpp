#include "search/archives/zip_directory.h"

#include <QList>

#include <algorithm>

namespace archives {

namespace {

constexpr qsizetype kEndRecordSize = 22;
constexpr qsizetype kEnd64LocatorSize = 20;
constexpr qsizetype kEnd64RecordSize = 56;
constexpr qsizetype kCentralHeaderSize = 46;
constexpr qsizetype kLocalHeaderSize = 30;
constexpr qint64 kMaxComment = 0xFFFF;
constexpr quint32 k32 = 0xFFFFFFFFu;

quint64 little(QByteArrayView bytes, qsizetype at, int width)
{
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

struct Entry
{
    qint64 start = 0; // the local header
    qint64 end = 0;   // past the compressed bytes
};

// Reads the ZIP64 extra field of a directory entry: the 64-bit values of the fields that hold
// 0xFFFFFFFF, in the order uncompressed size, compressed size, local header offset.
void readZip64Extra(QByteArrayView extra, quint64 &uncompressed, quint64 &compressed,
                    quint64 &offset)
{
    qsizetype at = 0;
    while (at + 4 <= extra.size()) {
        const quint64 id = little(extra, at, 2);
        const qsizetype size = qsizetype(little(extra, at + 2, 2));
        at += 4;
        if (at + size > extra.size())
            return;
        if (id == 0x0001) {
            qsizetype field = at;
            for (quint64 *value : {&uncompressed, &compressed, &offset}) {
                if (*value != k32)
                    continue;
                if (field + 8 > at + size)
                    return;
                *value = little(extra, field, 8);
                field += 8;
            }
            return;
        }
        at += size;
    }
}

} // namespace

QSet<qint64> overlappingZipEntries(qint64 archiveSize, const ReadAt &readAt)
{
    QSet<qint64> overlapping;
    if (archiveSize < kEndRecordSize)
        return overlapping;
    // The end record is within the last 22 bytes and the longest comment.
    const qint64 tailStart = std::max<qint64>(0, archiveSize - kEndRecordSize - kMaxComment);
    QByteArray tail;
    if (!readAt(tailStart, qsizetype(archiveSize - tailStart), tail))
        return overlapping;
    const qsizetype endAt = tail.lastIndexOf(QByteArrayView("PK\x05\x06", 4));
    if (endAt < 0 || endAt + kEndRecordSize > tail.size())
        return overlapping;
    quint64 count = little(tail, endAt + 10, 2);
    quint64 directorySize = little(tail, endAt + 12, 4);
    quint64 directoryOffset = little(tail, endAt + 16, 4);
    qint64 directoryEnd = tailStart + endAt; // where the directory is found to end
    if (count == 0xFFFF || directorySize == k32 || directoryOffset == k32) {
        // A ZIP64 archive: the locator before the end record points to the 64-bit end record.
        const qsizetype locatorAt = endAt - kEnd64LocatorSize;
        if (locatorAt < 0 || QByteArrayView(tail).sliced(locatorAt, 4) != "PK\x06\x07")
            return overlapping;
        const qint64 recordOffset = qint64(little(tail, locatorAt + 8, 8));
        QByteArray record;
        if (recordOffset < 0 || recordOffset > archiveSize ||
            !readAt(recordOffset, kEnd64RecordSize, record) || record.size() < kEnd64RecordSize ||
            !record.startsWith("PK\x06\x06"))
            return overlapping;
        count = little(record, 32, 8);
        directorySize = little(record, 40, 8);
        directoryOffset = little(record, 48, 8);
        directoryEnd = recordOffset;
    }
    if (directorySize > quint64(kMaxZipDirectory) || qint64(directorySize) > directoryEnd ||
        count > directorySize / kCentralHeaderSize)
        return overlapping;
    // Bytes put before the archive (a self-extracting program) move every offset by as much.
    const qint64 directoryStart = directoryEnd - qint64(directorySize);
    const qint64 shift = directoryStart - qint64(directoryOffset);
    if (shift < 0)
        return overlapping;
    QByteArray directory;
    if (!readAt(directoryStart, qsizetype(directorySize), directory) ||
        directory.size() < qsizetype(directorySize))
        return overlapping;

    QList<Entry> entries;
    entries.reserve(qsizetype(count));
    qsizetype at = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (at + kCentralHeaderSize > directory.size() ||
            QByteArrayView(directory).sliced(at, 4) != "PK\x01\x02")
            return overlapping;
        quint64 compressed = little(directory, at + 20, 4);
        quint64 uncompressed = little(directory, at + 24, 4);
        const qsizetype nameSize = qsizetype(little(directory, at + 28, 2));
        const qsizetype extraSize = qsizetype(little(directory, at + 30, 2));
        const qsizetype commentSize = qsizetype(little(directory, at + 32, 2));
        quint64 offset = little(directory, at + 42, 4);
        const qsizetype next = at + kCentralHeaderSize + nameSize + extraSize + commentSize;
        if (next > directory.size())
            return overlapping;
        readZip64Extra(
            QByteArrayView(directory).sliced(at + kCentralHeaderSize + nameSize, extraSize),
            uncompressed, compressed, offset);
        if (offset > quint64(archiveSize) || compressed > quint64(archiveSize))
            return overlapping;
        // The local header holds the name again; its extra field may differ and is left out,
        // so that the range is never taken longer than it is.
        const qint64 start = qint64(offset) + shift;
        entries.append(Entry{start, start + kLocalHeaderSize + nameSize + qint64(compressed)});
        at = next;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.start < b.start; });
    // In start order an entry overlaps another when it starts before an earlier one ends, or
    // when the next one starts before it ends.
    qint64 furthestEnd = -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries.at(i);
        const bool overlapped = entry.start < furthestEnd ||
                                (i + 1 < entries.size() && entries.at(i + 1).start < entry.end);
        if (overlapped)
            overlapping.insert(entry.start);
        furthestEnd = std::max(furthestEnd, entry.end);
    }
    return overlapping;
}

} // namespace archives
