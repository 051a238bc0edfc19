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

// QString::compare without regard to case, with the ASCII prefix of the two names (most of
// most names) compared here: ASCII letters fold to ASCII, one to one, so the order is the same.
int compareWithoutCase(const QString &a, const QString &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    const auto *p = reinterpret_cast<const char16_t *>(a.constData());
    const auto *q = reinterpret_cast<const char16_t *>(b.constData());
    qsizetype i = 0;
    for (; i < common; ++i) {
        char16_t x = p[i];
        char16_t y = q[i];
        if (x >= 0x80 || y >= 0x80)
            return QStringView(a).mid(i).compare(QStringView(b).mid(i), Qt::CaseInsensitive);
        if (x >= u'A' && x <= u'Z')
            x += 32;
        if (y >= u'A' && y <= u'Z')
            y += 32;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void sortByShownName(std::vector<Named> &names)
{
    std::sort(names.begin(), names.end(), [](const Named &a, const Named &b) {
        const int order = compareWithoutCase(a.shown, b.shown);
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
    std::vector<Named> files;
    std::vector<Named> folders;
    files.reserve(64);
    const bool inTop = relative.isEmpty();
    forEachEntry(fd, [&](const char *bytes, FolderEntry::Kind kind, bool link) {
        if (bytes[0] == '.')
            return;
        const bool isFile = kind == FolderEntry::Kind::File;
        // A link to a folder is not followed: a walk through links could loop forever.
        const bool isFolder = kind == FolderEntry::Kind::Folder && !link;
        if (!isFile && !isFolder)
            return;
        QString name = pathFromNative(bytes);
        QString shown = displayName(name);
        if (isFile && !m_accept(shown, inTop))
            return;
        if (isFile)
            files.push_back({std::move(name), visibleText(std::move(shown)), {}});
        else
            folders.push_back({std::move(name), std::move(shown), QByteArray(bytes)});
    });
    if (keep < 0)
        return;
    if (!files.empty()) {
        sortByShownName(files);
        const QString shownRelative = visibleName(relative);
        QList<TreeFile> found;
        found.reserve(qsizetype(files.size()));
        const bool plainFolder = shownRelative == relative;
        for (Named &file : files) {
            QString name = joined(relative, file.name);
            // Most names are shown as they are held: one string serves both.
            QString shown =
                plainFolder && file.shown == file.name ? name : joined(shownRelative, file.shown);
            found.append({std::move(name), std::move(shown)});
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
