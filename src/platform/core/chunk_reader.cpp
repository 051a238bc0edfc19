#include "platform/core/chunk_reader.h"

namespace platform {

bool ChunkReader::open(const QString &path)
{
    m_file.close();
    m_atEnd = false;
    m_file.setFileName(path);
    return m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 ChunkReader::readInto(QByteArray &buffer, qsizetype size)
{
    if (m_atEnd)
        return 0;
    const qsizetype old = buffer.size();
    buffer.resize(old + size);
    qint64 got = 0;
    while (got < size) {
        const qint64 n = m_file.read(buffer.data() + old + got, size - got);
        if (n < 0) {
            buffer.resize(old + got);
            return -1;
        }
        if (n == 0) {
            m_atEnd = true;
            break;
        }
        got += n;
    }
    buffer.resize(old + got);
    return got;
}

} // namespace platform
