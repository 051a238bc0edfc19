#include "search/documents/source.h"

#include "platform/core/paths.h"

#include <QBuffer>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace documents {

Source Source::fromBytes(QByteArray bytes, const QString &name)
{
    Source source(name);
    source.m_bytes = std::move(bytes);
    source.m_inMemory = true;
    return source;
}

std::unique_ptr<QIODevice> Source::open() const
{
    if (m_inMemory) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(m_bytes);
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    // Opened through the file system's own bytes for the name; the QFile owns the descriptor.
    const int fd = ::open(platform::nativePath(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

qint64 Source::size() const
{
    if (m_inMemory)
        return m_bytes.size();
    struct stat info;
    if (::stat(platform::nativePath(m_path).constData(), &info) != 0)
        return -1;
    return info.st_size;
}

QByteArray Source::head(qint64 limit) const
{
    if (m_inMemory)
        return m_bytes.first(std::min<qint64>(limit, m_bytes.size()));
    const std::unique_ptr<QIODevice> device = open();
    return device ? device->read(limit) : QByteArray();
}

} // namespace documents
