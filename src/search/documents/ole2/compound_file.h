#pragma once

#include "platform/core/little_endian.h"
#include "search/documents/source.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

typedef struct _GsfInput GsfInput;
typedef struct _GsfInfile GsfInfile;

namespace documents {

// An OLE2 compound file ([MS-CFB]), read through libgsf: the container of the older Word, Excel and
// PowerPoint formats and of Office Open XML packages saved with a password. Only the streams of
// the root storage are reached; the formats read here keep their text there.
class CompoundFile
{
public:
    // A stream larger than this is no document a person made, and is not read into memory.
    static constexpr qint64 kMaxStreamSize = qint64(256) << 20;

    CompoundFile() = default;
    ~CompoundFile();
    CompoundFile(const CompoundFile &) = delete;
    CompoundFile &operator=(const CompoundFile &) = delete;

    // False when the file is no compound file libgsf can open (cut before its directory, say).
    bool open(const Source &source);

    // By the names in the root directory (ASCII letters in any case): opening a child of a
    // damaged file makes libgsf warn.
    bool contains(const char *name) const;

    enum class Status { Ok, Missing, TooLarge, Damaged };
    // The whole stream `name` (at most kMaxStreamSize bytes), or its first `maxBytes` bytes. When
    // the stream ends before its size in the directory (Damaged), `out` holds what was read.
    Status read(const char *name, QByteArray &out, qint64 maxBytes = kMaxStreamSize) const;

private:
    int childIndex(const char *name) const;

    QByteArray m_bytes; // an in-memory source's bytes, which m_input reads
    GsfInput *m_input = nullptr;
    GsfInfile *m_ole = nullptr;
};

// Bounds of the binary formats' fields: the caller checks with fits() that a field lies inside
// `bytes` before reading it (platform/core/little_endian.h).
inline bool fits(QByteArrayView bytes, qint64 at, qint64 size)
{
    return at >= 0 && size >= 0 && at <= bytes.size() && size <= bytes.size() - at;
}
inline quint8 u8At(QByteArrayView bytes, qsizetype at)
{
    return quint8(bytes[at]);
}
using platform::le16;
using platform::le32;
using platform::leDouble;

} // namespace documents
