#pragma once

#include <QByteArray>

#include <functional>
#include <optional>
#include <vector>

// The central directory of a ZIP archive, read one way for the office packages and for the
// archives searched member by member.
namespace documents {

// Gives `size` bytes of an archive from byte `offset` on (fewer only at its end); false when
// they cannot be read.
using ReadAt = std::function<bool(qint64 offset, qsizetype size, QByteArray &bytes)>;

// The directory is read only up to this size: larger ones are not read.
inline constexpr qint64 kMaxZipDirectory = qint64(64) << 20;

// One entry as the central directory records it; the 64-bit sizes and offset of a ZIP64 entry
// are taken from its extra field.
struct ZipDirectoryEntry
{
    QByteArray name;        // as stored
    qint64 compressed = 0;  // bytes of compressed data
    qint64 size = 0;        // bytes once inflated
    qint64 localHeader = 0; // from the file's first byte (bytes put before the archive counted)
    int method = 0;
    quint16 flags = 0;
    quint32 crc = 0;
};

// The entries of the ZIP archive of `archiveSize` bytes, in directory order; nothing when its
// directory cannot be read whole (none, cut, larger than kMaxZipDirectory, inconsistent).
std::optional<std::vector<ZipDirectoryEntry>> readZipDirectory(qint64 archiveSize,
                                                               const ReadAt &readAt);

// The same over an archive held in memory.
std::optional<std::vector<ZipDirectoryEntry>> readZipDirectory(const QByteArray &archive);

} // namespace documents
