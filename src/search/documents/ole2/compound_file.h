#pragma once

#include "platform/core/little_endian.h"
#include "search/documents/source.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <QString>
#include <utility>

typedef struct _GsfInput GsfInput;
typedef struct _GsfInfile GsfInfile;

namespace documents {

// An OLE2 compound file ([MS-CFB]), read through libgsf: the container of the older Word, Excel and
// PowerPoint formats and of Office Open XML packages saved with a password. Only the streams of
// the root storage are reached by a bare name; a path of names separated by "/" reaches into the
// storages below it (an Outlook message keeps its attachments there).
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

    // By the names in the directory (ASCII letters in any case), without opening the stream or
    // storage itself: opening a child of a damaged file makes libgsf warn. `name` may be a path.
    bool contains(const char *name) const;

    // The names of the children of the storage at `path` (empty: the root), in directory order;
    // empty when there is no such storage.
    QList<QByteArray> childNames(const char *path = "") const;

    // The size of the stream `name` (or path) as the directory gives it; -1 when there is no
    // such stream.
    qint64 streamSize(const char *name) const;

    enum class Status { Ok, Missing, TooLarge, Damaged };
    // The whole stream `name` (or path; at most kMaxStreamSize bytes), or its first `maxBytes`
    // bytes. When the stream ends before its size in the directory (Damaged), `out` holds what
    // was read.
    Status read(const char *name, QByteArray &out, qint64 maxBytes = kMaxStreamSize) const;

private:
    static int childIndex(GsfInfile *storage, QByteArrayView name);
    // The storage at `path` (empty: the root), a reference of its own; null when there is none.
    GsfInfile *openStorage(QByteArrayView path) const;
    std::pair<GsfInfile *, QByteArrayView> parentOf(QByteArrayView path) const;

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
