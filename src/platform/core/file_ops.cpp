#include "platform/core/file_ops.h"

#include "platform/core/paths.h"
#include "platform/core/write_all.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace platform {

namespace {

qint64 nanoseconds(const struct timespec &t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileStatus statusFrom(const struct stat &info)
{
    FileStatus status;
    status.device = quint64(info.st_dev);
    status.inode = quint64(info.st_ino);
    status.size = qint64(info.st_size);
    status.modifiedNs = nanoseconds(info.st_mtim);
    status.changedNs = nanoseconds(info.st_ctim);
    status.regular = S_ISREG(info.st_mode);
    return status;
}

// Opened for reading without updating the access time; O_NOATIME is refused (EPERM) for a file of
// another owner, which is then opened as usual.
int openForReading(const QByteArray &path)
{
    int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    return fd;
}

bool typeTellsChanges(const struct statfs &info)
{
    switch (quint64(info.f_type)) {
    case EXT4_SUPER_MAGIC: // ext2 and ext3 too
    case BTRFS_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<FileStatus> fileStatus(const QByteArray &path)
{
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return std::nullopt;
    return statusFrom(info);
}

std::optional<FileStatus> linkStatus(const QByteArray &path)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        return std::nullopt;
    return statusFrom(info);
}

std::optional<FileStatus> openFileStatus(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return statusFrom(info);
}

bool timesTellChanges(int fd)
{
    struct statfs info;
    return ::fstatfs(fd, &info) == 0 && typeTellsChanges(info);
}

bool timesTellChanges(const QByteArray &path)
{
    struct statfs info;
    return ::statfs(path.constData(), &info) == 0 && typeTellsChanges(info);
}

qsizetype readAt(int fd, char *to, qsizetype size, qint64 offset)
{
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, to + got, size_t(size - got), off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

bool fileExists(const QByteArray &path)
{
    return ::access(path.constData(), F_OK) == 0;
}

bool removeFile(const QByteArray &path)
{
    return ::unlink(path.constData()) == 0;
}

bool makePrivateFolder(const QString &folder)
{
    const QByteArray native = nativePath(folder);
    struct stat info;
    if (::stat(native.constData(), &info) != 0) {
        const QString parent = QDir(folder).absolutePath().section(u'/', 0, -2);
        if (!parent.isEmpty() && !QDir().mkpath(parent))
            return false;
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    if (::stat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid())
        return false;
    return (info.st_mode & 0777) == 0700 || ::chmod(native.constData(), 0700) == 0;
}

bool replaceFile(QByteArray tempTemplate, const QByteArray &target, QByteArrayView bytes)
{
    const int fd = ::mkstemp(tempTemplate.data());
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, bytes.data(), bytes.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(tempTemplate.constData(), target.constData()) != 0) {
        ::unlink(tempTemplate.constData());
        return false;
    }
    return true;
}

ReadOnlyFile::ReadOnlyFile(const QByteArray &path) : m_fd(openForReading(path)) {}

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

ReadOnlyFile &ReadOnlyFile::operator=(ReadOnlyFile &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

qsizetype ReadOnlyFile::readAt(char *to, qsizetype size, qint64 offset) const
{
    return platform::readAt(m_fd, to, size, offset);
}

std::optional<FileStatus> ReadOnlyFile::status() const
{
    return openFileStatus(m_fd);
}

bool ReadOnlyFile::touch() const
{
    return ::futimens(m_fd, nullptr) == 0;
}

MappedFile MappedFile::map(const QByteArray &path, qint64 minSize, qint64 maxSize)
{
    MappedFile mapped;
    const ReadOnlyFile file(path);
    if (!file.isOpen())
        return mapped;
    const std::optional<FileStatus> status = file.status();
    if (!status || !status->regular || status->size < std::max<qint64>(minSize, 1) ||
        status->size > maxSize)
        return mapped;
    void *const data = ::mmap(nullptr, size_t(status->size), PROT_READ, MAP_PRIVATE, file.m_fd, 0);
    if (data == MAP_FAILED)
        return mapped;
    mapped.m_data = static_cast<const char *>(data);
    mapped.m_size = qsizetype(status->size);
    return mapped;
}

MappedFile::~MappedFile()
{
    unmap();
}

MappedFile::MappedFile(MappedFile &&other) noexcept : m_data(other.m_data), m_size(other.m_size)
{
    other.m_data = nullptr;
    other.m_size = 0;
}

MappedFile &MappedFile::operator=(MappedFile &&other) noexcept
{
    if (this != &other) {
        unmap();
        m_data = other.m_data;
        m_size = other.m_size;
        other.m_data = nullptr;
        other.m_size = 0;
    }
    return *this;
}

void MappedFile::unmap()
{
    if (m_data)
        ::munmap(const_cast<char *>(m_data), size_t(m_size));
    m_data = nullptr;
    m_size = 0;
}

} // namespace platform
