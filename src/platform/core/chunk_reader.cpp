#include "platform/core/chunk_reader.h"

#include "platform/core/paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

ChunkReader::~ChunkReader()
{
    close();
}

void ChunkReader::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool ChunkReader::open(const QString &path)
{
    close();
    m_atEnd = false;
    do {
        m_fd = ::open(platform::nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

qint64 ChunkReader::readInto(QByteArray &buffer, qsizetype size)
{
    if (m_atEnd)
        return 0;
    if (m_fd < 0)
        return -1;
    const qsizetype old = buffer.size();
    buffer.resize(old + size);
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(m_fd, buffer.data() + old + got, size_t(size - got));
        if (n < 0 && errno == EINTR)
            continue;
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

bool ChunkReader::rewind()
{
    return seekTo(0);
}

bool ChunkReader::seekTo(qint64 offset)
{
    m_atEnd = false;
    return m_fd >= 0 && offset >= 0 && ::lseek(m_fd, off_t(offset), SEEK_SET) == off_t(offset);
}

qint64 ChunkReader::size() const
{
    struct stat info;
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        return -1;
    return info.st_size;
}

} // namespace platform
