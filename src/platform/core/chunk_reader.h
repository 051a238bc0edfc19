#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace platform {

// Reads one file's bytes in chunks of the caller's size, without Qt's buffering: the streaming
// search's source of bytes. Failures are returned as values.
class ChunkReader
{
public:
    bool open(const QString &path);
    // Appends up to `size` bytes to `buffer` (fewer only at the end of the file). Returns how
    // many, 0 at the end of the file, -1 on a read error (what was read before it is kept).
    qint64 readInto(QByteArray &buffer, qsizetype size);
    // Back to the first byte, to read the file again.
    bool rewind()
    {
        m_atEnd = false;
        return m_file.seek(0);
    }

private:
    QFile m_file;
    bool m_atEnd = false; // a read found the end: no need to ask the system again
};

} // namespace platform
