#include "platform/core/folder_entries.h"

#include "platform/core/paths.h"

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

FolderEntry::Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FolderEntry::Kind::File;
    if (S_ISDIR(mode))
        return FolderEntry::Kind::Folder;
    return FolderEntry::Kind::Other;
}

} // namespace

int openFolder(const QString &folder)
{
    return ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int openSubfolder(int parentFd, const QByteArray &name)
{
    return ::openat(parentFd, name.constData(),
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
}

bool readFolder(const QString &folder, QList<FolderEntry> &entries)
{
    const int fd = openFolder(folder);
    return fd >= 0 && readFolderFd(fd, entries);
}

bool readFolderFd(int fd, QList<FolderEntry> &entries)
{
    return forEachEntry(fd, [&entries](const char *name, FolderEntry::Kind kind, bool link) {
        entries.append(FolderEntry{QByteArray(name), kind, link});
    });
}

bool forEachEntry(
    int fd, const std::function<void(const char *name, FolderEntry::Kind kind, bool link)> &take)
{
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            ok = errno == 0;
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        FolderEntry::Kind kind = FolderEntry::Kind::Other;
        bool link = false;
        switch (entry->d_type) {
        case DT_REG:
            kind = FolderEntry::Kind::File;
            break;
        case DT_DIR:
            kind = FolderEntry::Kind::Folder;
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            // The file system does not say, or the name is a link: ask what it leads to.
            struct stat info;
            if (entry->d_type == DT_UNKNOWN &&
                ::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                !S_ISLNK(info.st_mode)) {
                kind = kindOf(info.st_mode);
                break;
            }
            link = true;
            if (::fstatat(::dirfd(dir), name, &info, 0) == 0)
                kind = kindOf(info.st_mode);
            break;
        }
        default:
            break;
        }
        take(name, kind, link);
    }
    ::closedir(dir);
    return ok;
}

} // namespace platform
