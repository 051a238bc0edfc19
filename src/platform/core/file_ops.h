#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Small wrappers of the system's file calls for code that keeps files of its own (the text
// cache): paths are the bytes the file system knows (platform::nativePath), failures are values.
namespace platform {

// What the system tells of a file without reading it.
struct FileStatus
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    bool regular = false; // a regular file (for linkStatus(): not a link to one)
};

// The status of the file at `path`, following a symbolic link; nothing when it cannot be read.
std::optional<FileStatus> fileStatus(const QByteArray &path);
// The status of the name `path` itself: a symbolic link is not followed.
std::optional<FileStatus> linkStatus(const QByteArray &path);
// The status of the open file `fd`.
std::optional<FileStatus> openFileStatus(int fd);

// True when the file system holding the open file `fd` (or the file at `path`) tells every change
// of a file's content by its times: ext2/3/4, btrfs, xfs and tmpfs keep nanosecond modification
// times and a change time nobody can set back. False on every other file system: vfat and exFAT
// (USB sticks, memory cards) keep the modification time to 2 s and have no change time (the
// system repeats the modification time for it), so a rewrite of the same size within those
// 2 s, or with its time set back, looks the same as before; a file system not known here is
// taken to be like them. Decided by statfs's f_type.
bool timesTellChanges(int fd);
bool timesTellChanges(const QByteArray &path);

// Up to `size` bytes of the open file `fd` at `offset`, fewer only at the end of the file; -1 on
// a read error. The file's own position is left as it was.
qsizetype readAt(int fd, char *to, qsizetype size, qint64 offset);

bool fileExists(const QByteArray &path);
// False when the file could not be removed (or was not there).
bool removeFile(const QByteArray &path);

// Makes `folder` and its parents, the folder itself with mode 0700, and checks that it is a folder
// of the user's own that nobody else may enter (setting the mode when it was wider). False when
// that is not possible (a file in its place, another owner, a read-only parent).
bool makePrivateFolder(const QString &folder);

// Writes `bytes` to a new file made from `tempTemplate` (a path ending in "XXXXXX", in the folder
// of `target`) and renames it over `target`, so that a reader sees the old file or the new one,
// never part of one. False, with the temporary file removed and `target` as it was, on any error
// (a full disk, a read-only folder).
bool replaceFile(QByteArray tempTemplate, const QByteArray &target, QByteArrayView bytes);

// A file opened for reading without updating its access time (for the user's own files: a read
// writes nothing), closed when this goes.
class ReadOnlyFile
{
public:
    ReadOnlyFile() = default;
    explicit ReadOnlyFile(const QByteArray &path);
    ~ReadOnlyFile();
    ReadOnlyFile(ReadOnlyFile &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    ReadOnlyFile &operator=(ReadOnlyFile &&other) noexcept;
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // Up to `size` bytes at `offset`, fewer only at the end of the file; -1 on a read error.
    qsizetype readAt(char *to, qsizetype size, qint64 offset) const;
    std::optional<FileStatus> status() const;
    // Sets the file's modification (and access) time to now.
    bool touch() const;

private:
    friend class MappedFile;
    int m_fd = -1;
};

// A whole regular file mapped read-only, unmapped when this goes. The system's copy is mapped
// privately: a file replaced by a rename leaves the mapping whole, a file changed in place does
// not, so map only files that are never written in place.
class MappedFile
{
public:
    MappedFile() = default;
    // The regular file at `path` when it holds `minSize` to `maxSize` bytes (minSize at least 1);
    // else an empty mapping.
    static MappedFile map(const QByteArray &path, qint64 minSize, qint64 maxSize);
    ~MappedFile();
    MappedFile(MappedFile &&other) noexcept;
    MappedFile &operator=(MappedFile &&other) noexcept;
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    bool isEmpty() const { return m_size == 0; }
    QByteArrayView bytes() const { return QByteArrayView(m_data, m_size); }

private:
    void unmap();

    const char *m_data = nullptr;
    qsizetype m_size = 0;
};

} // namespace platform
