#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Reads one file's bytes in chunks of the caller's size, straight from the system (no buffering,
// no status calls): the streaming search's source of bytes, opened once per file searched, so a
// hundred thousand small files cost little more than their open, read and close. Failures are
// returned as values.
class ChunkReader
{
public:
    ChunkReader() = default;
    ~ChunkReader();
    ChunkReader(const ChunkReader &) = delete;
    ChunkReader &operator=(const ChunkReader &) = delete;

    bool open(const QString &path);
    // Appends up to `size` bytes to `buffer` (fewer only at the end of the file). Returns how
    // many, 0 at the end of the file, -1 on a read error (what was read before it is kept; a
    // folder opens, and fails here).
    qint64 readInto(QByteArray &buffer, qsizetype size);
    // Back to the first byte, to read the file again.
    bool rewind();
    // To byte `offset` (for formats whose index lies at the end, a 7z archive); false on failure.
    bool seekTo(qint64 offset);
    // True once a read has found the end of the file.
    bool atEnd() const { return m_atEnd; }
    // The file's size in bytes, -1 when it cannot be told.
    qint64 size() const;
    // The open file's descriptor, -1 when none is open (for status calls on the open file).
    int descriptor() const { return m_fd; }

private:
    void close();

    int m_fd = -1;
    bool m_atEnd = false; // a read found the end: no need to ask the system again
};

} // namespace platform
