#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace platform {

// One name in a folder, by its bytes, with what it is.
struct FolderEntry
{
    enum class Kind : unsigned char {
        File,   // a regular file, or a link to one
        Folder, // a folder, or a link to one
        Other,  // FIFOs, sockets, devices, broken links: nothing a reader could take
    };
    QByteArray name;
    Kind kind = Kind::Other;
    bool link = false; // the name is a symbolic link (kind says what it leads to)
};

// The entries of a folder by their raw names ("." and ".." left out), read with readdir so
// that a name that is not UTF-8 keeps its bytes. Returns false when the folder cannot be read.
bool readFolder(const QString &folder, QList<FolderEntry> &entries);

// Calls `take(name, kind, link)` for each entry of the folder open as `fd` (a descriptor opened
// with O_DIRECTORY, taken over and closed), without copying names: `name` lasts for the call.
// Returns false when reading failed part way (the entries read before were given).
bool forEachEntry(
    int fd, const std::function<void(const char *name, FolderEntry::Kind kind, bool link)> &take);

// The same for the folder open as `fd` (a descriptor opened with O_DIRECTORY); the descriptor is
// taken over and closed.
bool readFolderFd(int fd, QList<FolderEntry> &entries);

// Opens the folder `name` inside the folder open as `parentFd` for reading, without following
// a symbolic link; -1 when that fails.
int openSubfolder(int parentFd, const QByteArray &name);

// Opens the folder `folder` for reading; -1 when that fails.
int openFolder(const QString &folder);

} // namespace platform
