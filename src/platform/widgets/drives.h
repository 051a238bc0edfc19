#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace platform {

// One file system the user can pick as a drive: its mount point and its volume label.
struct Drive
{
    QString mountPoint;
    QString label;

    // The text the drive list shows and reports: the mount point, then " [label]" when the
    // volume has a label ("/media/usb [STICK]").
    QString text() const;
    bool operator==(const Drive &other) const = default;
};

// True for file systems a user would pick to look for files: real disks, removable media and
// network shares. Kernel and runtime pseudo file systems (proc, sysfs, tmpfs, cgroup, overlay
// layers of containers, snap images, ...) and mounts inside /proc, /sys, /dev, /run (except
// removable media under /run/media), /snap and /boot are left out. "/" always counts.
bool isUserVolume(const QString &mountPoint, QByteArrayView fileSystemType);

// The drives of this session and the folder each of them was last shown in.
//
// Like the per-drive current folders of a process, the folders live as long as the catalogue
// (the session's one lives for the whole run), so a chooser that is unloaded and loaded again
// finds every drive where it left it. Initially a drive's folder is its root, except for the
// drive holding the working folder, whose folder is the working folder.
class Drives
{
public:
    using Source = std::function<QList<Drive>()>;

    // `source` lists the mounted drives; "/" is added when it does not report it.
    explicit Drives(Source source, const QString &workingFolder);
    Drives(const Drives &) = delete;
    Drives &operator=(const Drives &) = delete;

    // The catalogue of the running program, listing the mounted volumes (the mount table).
    static Drives &session();
    // The mounted volumes that pass isUserVolume(), "/" first, the others by mount point.
    static QList<Drive> mountedDrives();

    // The working folder of the process when the catalogue was made.
    const QString &workingFolder() const { return m_workingFolder; }

    // The drives as last listed.
    const QList<Drive> &drives() const { return m_drives; }
    // Lists the drives again (a medium inserted or removed).
    void refresh();

    // The drive a drive text names, matched by mount point only, so a text saved when the
    // volume had another label (or whose label was cut off) still finds the drive.
    std::optional<Drive> findByText(const QString &text);
    // The drive whose mount point holds `path` (the longest matching mount point).
    Drive driveOf(const QString &path) const;

    // The folder the drive was last shown in; its root when none is known.
    QString currentFolder(const QString &mountPoint) const;
    void setCurrentFolder(const QString &mountPoint, const QString &folder);

    // True when the folder exists and can be listed.
    static bool isUsableFolder(const QString &folder);
    // True when `path` is `folder` or lies inside it (both clean absolute paths).
    static bool isUnder(const QString &path, const QString &folder);

private:
    std::optional<Drive> matchText(const QString &text) const;

    Source m_source;
    QString m_workingFolder;
    QList<Drive> m_drives;
    QHash<QString, QString> m_folders; // mount point -> current folder
};

} // namespace platform
