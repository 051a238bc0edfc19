// The private folder of member copies and its cleaning: file-system work only, apart from the
// copying itself (the archive readers' member copy), so that the program can clean the folder at
// start without the archive readers.
#include "platform/core/member_copies_folder.h"

#include "platform/core/paths.h"

#include <cerrno>
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

namespace platform {

namespace {

bool makePrivateFolder(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid())
        return false;
    return (info.st_mode & 0777) == 0700 || ::chmod(path.constData(), 0700) == 0;
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    ::remove(path);
    return 0;
}

} // namespace

QString memberCopiesFolder()
{
    QByteArray base = qgetenv("XDG_RUNTIME_DIR");
    struct stat info;
    if (base.isEmpty() || ::stat(base.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        ::access(base.constData(), W_OK) != 0) {
        QByteArray cache = qgetenv("XDG_CACHE_HOME");
        if (cache.isEmpty())
            cache = qgetenv("HOME") + "/.cache";
        if (::mkdir(cache.constData(), 0700) != 0 && errno != EEXIST)
            return QString();
        base = cache + "/quarlex";
        if (!makePrivateFolder(base))
            return QString();
    }
    const QByteArray folder = base + "/quarlex-members";
    if (!makePrivateFolder(folder))
        return QString();
    return platform::pathFromNative(folder);
}

void removeOldMemberCopies(qint64 maxAgeSeconds)
{
    const QString folder = memberCopiesFolder();
    if (folder.isEmpty())
        return;
    const QByteArray native = platform::nativePath(folder);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = native + '/' + name;
        struct stat info;
        if (::lstat(path.constData(), &info) != 0)
            continue;
        if (now - info.st_mtime > maxAgeSeconds)
            ::nftw(path.constData(), &removeEntry, 8, FTW_DEPTH | FTW_PHYS);
    }
    ::closedir(dir);
}

} // namespace platform
