#include "platform/widgets/drives.h"

#include "platform/core/paths.h"

#include <QDir>
#include <QStorageInfo>

#include <algorithm>

#include <mntent.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // By its bytes: a working folder whose name is not UTF-8 is found again.
    static Drives drives(&Drives::mountedDrives, platform::currentFolder());
    return drives;
}

QList<Drive> Drives::mountedDrives()
{
    // Mount points by their bytes (a mount point whose name is not UTF-8 is a drive too); the
    // volume labels come from Qt's catalogue, by mount point.
    QHash<QString, QString> labels;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid())
            labels.insert(volume.rootPath(), volume.name());
    }
    QList<Drive> drives;
    FILE *table = ::setmntent("/proc/self/mounts", "r");
    if (!table)
        return drives;
    struct mntent entry;
    char buffer[4096];
    while (::getmntent_r(table, &entry, buffer, sizeof buffer)) {
        const QString mountPoint = pathFromNative(entry.mnt_dir);
        if (!isUserVolume(mountPoint, entry.mnt_type))
            continue;
        // Bind mounts of single files (containers mount /etc/hosts that way) are no drives.
        struct stat info;
        if (::stat(entry.mnt_dir, &info) != 0 || !S_ISDIR(info.st_mode))
            continue;
        Drive drive{mountPoint, labels.value(mountPoint)};
        // A later mount on the same point hides the earlier one.
        auto same = std::find_if(drives.begin(), drives.end(),
                                 [&](const Drive &d) { return d.mountPoint == mountPoint; });
        if (same != drives.end())
            *same = drive;
        else
            drives.append(drive);
    }
    ::endmntent(table);
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
    if (folder.isEmpty())
        return false;
    // By the folder's bytes: a name that is not UTF-8 is a usable folder too.
    const QByteArray native = nativePath(folder);
    struct stat info;
    return ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(native.constData(), R_OK | X_OK) == 0;
}

} // namespace platform
