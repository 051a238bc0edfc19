#include "platform/widgets/drives.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace platform {

namespace {

const QString kRoot = QStringLiteral("/");

bool isUnder(const QString &path, const QString &folder)
{
    return Drives::isUnder(path, folder);
}

} // namespace

QString Drive::text() const
{
    if (label.isEmpty())
        return mountPoint;
    return mountPoint + QStringLiteral(" [") + label + QStringLiteral("]");
}

bool isUserVolume(const QString &mountPoint, QByteArrayView fileSystemType)
{
    if (mountPoint == kRoot)
        return true;
    static const QByteArrayView pseudo[] = {
        "proc",       "sysfs",        "devtmpfs", "devpts",          "tmpfs",
        "ramfs",      "cgroup",       "cgroup2",  "securityfs",      "debugfs",
        "tracefs",    "pstore",       "bpf",      "configfs",        "fusectl",
        "mqueue",     "hugetlbfs",    "autofs",   "binfmt_misc",     "efivarfs",
        "nsfs",       "rpc_pipefs",   "nfsd",     "selinuxfs",       "squashfs",
        "overlay",    "aufs",         "devfs",    "fuse.gvfsd-fuse", "fuse.portal",
        "fuse.lxcfs", "fuse.snapfuse"};
    for (QByteArrayView type : pseudo) {
        if (fileSystemType == type)
            return false;
    }
    if (isUnder(mountPoint, QStringLiteral("/run")))
        return isUnder(mountPoint, QStringLiteral("/run/media"));
    static const QString system[] = {QStringLiteral("/proc"), QStringLiteral("/sys"),
                                     QStringLiteral("/dev"),  QStringLiteral("/snap"),
                                     QStringLiteral("/boot"), QStringLiteral("/var/lib/docker")};
    for (const QString &folder : system) {
        if (isUnder(mountPoint, folder))
            return false;
    }
    return true;
}

Drives::Drives(Source source, const QString &workingFolder)
    : m_source(std::move(source)),
      m_workingFolder(QDir::cleanPath(QDir(workingFolder).absolutePath()))
{
    refresh();
    setCurrentFolder(driveOf(m_workingFolder).mountPoint, m_workingFolder);
}

Drives &Drives::session()
{
    static Drives drives(&Drives::mountedDrives, QDir::currentPath());
    return drives;
}

QList<Drive> Drives::mountedDrives()
{
    QList<Drive> drives;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString mountPoint = volume.rootPath();
        if (!volume.isValid() || !isUserVolume(mountPoint, volume.fileSystemType()))
            continue;
        // Bind mounts of single files (containers mount /etc/hosts that way) are no drives.
        if (!QFileInfo(mountPoint).isDir())
            continue;
        Drive drive{mountPoint, volume.name()};
        // A later mount on the same point hides the earlier one.
        auto same = std::find_if(drives.begin(), drives.end(),
                                 [&](const Drive &d) { return d.mountPoint == mountPoint; });
        if (same != drives.end())
            *same = drive;
        else
            drives.append(drive);
    }
    return drives;
}

void Drives::refresh()
{
    QList<Drive> drives = m_source ? m_source() : QList<Drive>();
    for (Drive &drive : drives)
        drive.mountPoint = QDir::cleanPath(drive.mountPoint);
    auto root = std::find_if(drives.begin(), drives.end(),
                             [](const Drive &d) { return d.mountPoint == kRoot; });
    Drive rootDrive{kRoot, QString()};
    if (root != drives.end()) {
        rootDrive = *root;
        drives.erase(root);
    }
    std::sort(drives.begin(), drives.end(),
              [](const Drive &a, const Drive &b) { return a.mountPoint < b.mountPoint; });
    drives.prepend(rootDrive);
    m_drives = drives;
}

std::optional<Drive> Drives::matchText(const QString &text) const
{
    const Drive *best = nullptr;
    for (const Drive &drive : m_drives) {
        const bool match =
            text == drive.mountPoint || text.startsWith(drive.mountPoint + QStringLiteral(" ["));
        if (match && (!best || drive.mountPoint.size() > best->mountPoint.size()))
            best = &drive;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

std::optional<Drive> Drives::findByText(const QString &text)
{
    if (auto drive = matchText(text))
        return drive;
    refresh();
    return matchText(text);
}

Drive Drives::driveOf(const QString &path) const
{
    const Drive *best = nullptr;
    for (const Drive &drive : m_drives) {
        if (isUnder(path, drive.mountPoint) &&
            (!best || drive.mountPoint.size() > best->mountPoint.size()))
            best = &drive;
    }
    return best ? *best : Drive{kRoot, QString()};
}

QString Drives::currentFolder(const QString &mountPoint) const
{
    return m_folders.value(mountPoint, mountPoint);
}

void Drives::setCurrentFolder(const QString &mountPoint, const QString &folder)
{
    m_folders.insert(mountPoint, folder);
}

bool Drives::isUnder(const QString &path, const QString &folder)
{
    if (folder == kRoot)
        return path.startsWith(kRoot);
    return path == folder || path.startsWith(folder + kRoot);
}

bool Drives::isUsableFolder(const QString &folder)
{
    const QFileInfo info(folder);
    return !folder.isEmpty() && info.isDir() && info.isReadable() && info.isExecutable();
}

} // namespace platform
