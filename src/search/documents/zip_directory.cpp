#include "search/documents/zip_directory.h"

#include "platform/core/little_endian.h"

#include <algorithm>
#include <limits>

namespace documents {

namespace {

constexpr qsizetype kEndRecordSize = 22;
constexpr qsizetype kEnd64LocatorSize = 20;
constexpr qsizetype kEnd64RecordSize = 56;
constexpr qsizetype kCentralHeaderSize = 46;
constexpr qint64 kMaxComment = 0xFFFF;
constexpr quint32 k32 = 0xFFFFFFFFu;

using platform::littleEndian;

// Reads the ZIP64 extra field of a directory entry: the 64-bit values of the fields that hold
// 0xFFFFFFFF, in the order uncompressed size, compressed size, local header offset.
void readZip64Extra(QByteArrayView extra, quint64 &uncompressed, quint64 &compressed,
                    quint64 &offset)
{
    qsizetype at = 0;
    while (at + 4 <= extra.size()) {
        const quint64 id = littleEndian(extra, at, 2);
        const qsizetype size = qsizetype(littleEndian(extra, at + 2, 2));
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
                *value = littleEndian(extra, field, 8);
                field += 8;
            }
            return;
        }
        at += size;
    }
}

} // namespace

std::optional<std::vector<ZipDirectoryEntry>> readZipDirectory(qint64 archiveSize,
                                                               const ReadAt &readAt)
{
    if (archiveSize < kEndRecordSize)
        return std::nullopt;
    // The end record is within the last 22 bytes and the longest comment.
    const qint64 tailStart = std::max<qint64>(0, archiveSize - kEndRecordSize - kMaxComment);
    QByteArray tail;
    if (!readAt(tailStart, qsizetype(archiveSize - tailStart), tail))
        return std::nullopt;
    const qsizetype endAt = tail.lastIndexOf(QByteArrayView("PK\x05\x06", 4));
    if (endAt < 0 || endAt + kEndRecordSize > tail.size())
        return std::nullopt;
    quint64 count = littleEndian(tail, endAt + 10, 2);
    quint64 directorySize = littleEndian(tail, endAt + 12, 4);
    quint64 directoryOffset = littleEndian(tail, endAt + 16, 4);
    qint64 directoryEnd = tailStart + endAt; // where the directory is found to end
    if (count == 0xFFFF || directorySize == k32 || directoryOffset == k32) {
        // A ZIP64 archive: the locator before the end record points to the 64-bit end record.
        const qsizetype locatorAt = endAt - kEnd64LocatorSize;
        if (locatorAt < 0 || QByteArrayView(tail).sliced(locatorAt, 4) != "PK\x06\x07")
            return std::nullopt;
        const qint64 recordOffset = qint64(littleEndian(tail, locatorAt + 8, 8));
        QByteArray record;
        if (recordOffset < 0 || recordOffset > archiveSize ||
            !readAt(recordOffset, kEnd64RecordSize, record) || record.size() < kEnd64RecordSize ||
            !record.startsWith("PK\x06\x06"))
            return std::nullopt;
        count = littleEndian(record, 32, 8);
        directorySize = littleEndian(record, 40, 8);
        directoryOffset = littleEndian(record, 48, 8);
        directoryEnd = recordOffset;
    }
    if (directorySize > quint64(kMaxZipDirectory) || qint64(directorySize) > directoryEnd ||
        count > directorySize / kCentralHeaderSize)
        return std::nullopt;
    // Bytes put before the archive (a self-extracting program) move every offset by as much.
    const qint64 directoryStart = directoryEnd - qint64(directorySize);
    const qint64 shift = directoryStart - qint64(directoryOffset);
    if (shift < 0)
        return std::nullopt;
    QByteArray directory;
    if (!readAt(directoryStart, qsizetype(directorySize), directory) ||
        directory.size() < qsizetype(directorySize))
        return std::nullopt;

    std::vector<ZipDirectoryEntry> entries;
    entries.reserve(size_t(count));
    qsizetype at = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (at + kCentralHeaderSize > directory.size() ||
            QByteArrayView(directory).sliced(at, 4) != "PK\x01\x02")
            return std::nullopt;
        quint64 compressed = littleEndian(directory, at + 20, 4);
        quint64 uncompressed = littleEndian(directory, at + 24, 4);
        const qsizetype nameSize = qsizetype(littleEndian(directory, at + 28, 2));
        const qsizetype extraSize = qsizetype(littleEndian(directory, at + 30, 2));
        const qsizetype commentSize = qsizetype(littleEndian(directory, at + 32, 2));
        quint64 offset = littleEndian(directory, at + 42, 4);
        const qsizetype next = at + kCentralHeaderSize + nameSize + extraSize + commentSize;
        if (next > directory.size())
            return std::nullopt;
        readZip64Extra(
            QByteArrayView(directory).sliced(at + kCentralHeaderSize + nameSize, extraSize),
            uncompressed, compressed, offset);
        if (offset > quint64(archiveSize) || compressed > quint64(archiveSize) ||
            uncompressed > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        ZipDirectoryEntry entry;
        entry.name = directory.mid(at + kCentralHeaderSize, nameSize);
        entry.compressed = qint64(compressed);
        entry.size = qint64(uncompressed);
        entry.localHeader = qint64(offset) + shift;
        entry.method = int(littleEndian(directory, at + 10, 2));
        entry.flags = quint16(littleEndian(directory, at + 8, 2));
        entry.crc = quint32(littleEndian(directory, at + 16, 4));
        entries.push_back(std::move(entry));
        at = next;
    }
    return entries;
}

std::optional<std::vector<ZipDirectoryEntry>> readZipDirectory(const QByteArray &archive)
{
    return readZipDirectory(archive.size(), [&](qint64 offset, qsizetype size, QByteArray &bytes) {
        bytes = archive.mid(offset, size);
        return true;
    });
}

} // namespace documents
