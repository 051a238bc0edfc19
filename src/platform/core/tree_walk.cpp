#include "platform/core/tree_walk.h"

#include "platform/core/folder_entries.h"
#include "platform/core/paths.h"

#include <QDir>

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

struct Named
{
    QString name;
    QString shown;
    QByteArray bytes;
};

void sortByShownName(std::vector<Named> &names)
{
    std::sort(names.begin(), names.end(), [](const Named &a, const Named &b) {
        const int order = QString::compare(a.shown, b.shown, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.name < b.name;
    });
}

QString joined(const QString &relative, const QString &name)
{
    return relative.isEmpty() ? name : relative + u'/' + name;
}

} // namespace

TreeWalk::TreeWalk(Accept accept, Deliver deliver, const std::atomic<bool> *stop)
    : m_accept(std::move(accept)), m_deliver(std::move(deliver)), m_stop(stop)
{}

bool TreeWalk::isVirtualFileSystem(const QString &absolutePath)
{
    const auto under = [&absolutePath](const QString &root) {
        return absolutePath == root || absolutePath.startsWith(root + u'/');
    };
    // Removable media are mounted below /run/media: drives of their own, walked like any.
    if (under(QStringLiteral("/run")))
        return !under(QStringLiteral("/run/media"));
    return under(QStringLiteral("/proc")) || under(QStringLiteral("/sys")) ||
           under(QStringLiteral("/dev"));
}

bool TreeWalk::run(const QString &folder)
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    if (isVirtualFileSystem(absolute))
        return false;
    const int fd = openFolder(absolute);
    if (fd < 0)
        return false;
    walk(fd, absolute, QString());
    return true;
}

void TreeWalk::walk(int fd, const QString &absolute, const QString &relative)
{
    // The descriptor stays open while the subfolders are walked: they are opened relative to it.
    const int keep = ::dup(fd);
    QList<FolderEntry> entries;
    const bool read = readFolderFd(fd, entries);
    if (keep < 0)
        return;
    if (!read && entries.isEmpty()) {
        ::close(keep);
        return;
    }
    std::vector<Named> files;
    std::vector<Named> folders;
    for (FolderEntry &entry : entries) {
        if (entry.name.startsWith('.'))
            continue;
        const bool isFile = entry.kind == FolderEntry::Kind::File;
        // A link to a folder is not followed: a walk through links could loop forever.
        const bool isFolder = entry.kind == FolderEntry::Kind::Folder && !entry.link;
        if (!isFile && !isFolder)
            continue;
        QString name = pathFromNative(entry.name);
        QString shown = displayName(name);
        if (isFile && !m_accept(shown, relative.isEmpty()))
            continue;
        (isFile ? files : folders).push_back({std::move(name), std::move(shown), {}});
        if (isFolder)
            folders.back().bytes = std::move(entry.name);
    }
    entries.clear();
    if (!files.empty()) {
        sortByShownName(files);
        const QString shownRelative = displayName(relative);
        QList<TreeFile> found;
        found.reserve(qsizetype(files.size()));
        for (Named &file : files) {
            found.append({joined(relative, file.name), joined(shownRelative, file.shown)});
        }
        if (stopped()) {
            ::close(keep);
            return;
        }
        m_deliver(std::move(found));
    }
    sortByShownName(folders);
    for (const Named &folder : folders) {
        if (stopped())
            break;
        const QString below = childPath(absolute, folder.name);
        if (isVirtualFileSystem(below))
            continue;
        const int sub = openSubfolder(keep, folder.bytes);
        if (sub < 0)
            continue; // unreadable: skipped
        walk(sub, below, joined(relative, folder.name));
    }
    ::close(keep);
}

} // namespace platform
