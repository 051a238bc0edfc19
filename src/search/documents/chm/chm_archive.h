#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

struct chmFile;

namespace documents {

// A compiled help file (.chm) opened through chmlib, with what chmlib trusts checked first.
//
// chmlib reads the directory and the compressed section as the file describes them: it follows
// directory chunk links without looking for loops, allocates buffers of the sizes the headers
// give and reads entry lengths past their chunk. Before chm_open the headers (ITSF, ITSP) and
// every directory chunk are checked here: chunk sizes and counts within the directory, entries
// inside their chunk, the listing chain and the index tree free of loops. After it, the LZX
// control data and reset table are checked before anything compressed is read. A file failing
// a check is not opened. Objects are read only up to a size the caller gives.
//
// chmlib opens file paths only, so the archive is a file on disk.
class ChmArchive
{
public:
    struct Object
    {
        QByteArray path; // as stored: UTF-8, starting with '/'
        quint64 length = 0;
    };

    ChmArchive() = default;
    ~ChmArchive();
    ChmArchive(const ChmArchive &) = delete;
    ChmArchive &operator=(const ChmArchive &) = delete;

    // False when the file is no help file chmlib can read safely.
    bool open(const QString &path);
    bool isOpen() const { return m_file != nullptr; }

    // The ordinary files of the archive in the order of its directory, the first `maxObjects`.
    std::vector<Object> objects(qsizetype maxObjects) const;
    // The object at `path` whole; nothing when it is missing, longer than `maxBytes` or cannot be
    // read whole (a damaged section).
    std::optional<QByteArray> read(const QByteArray &path, qint64 maxBytes) const;
    // True when `path` names an object (of any size).
    bool contains(const QByteArray &path) const;

    // The largest directory chunk and compression block accepted (the formats' writers use 4 KiB
    // chunks and 32 KiB blocks).
    static constexpr quint32 kMaxChunk = 64 * 1024;
    static constexpr quint64 kMaxBlock = 1024 * 1024;

private:
    bool compressionIsSound();

    chmFile *m_file = nullptr;
    qint64 m_size = 0;
    quint64 m_sectionLength = 0; // the compressed section's length uncompressed
};

// The checks made on the file's bytes before chm_open (exposed for the tests): true when the
// headers and directory chunks of the help file at `path` are sound.
bool chmDirectoryIsSound(const QString &path);

} // namespace documents
