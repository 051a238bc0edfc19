#include "platform/widgets/drive_list.h"

#include "platform/core/paths.h"
#include "platform/widgets/drives.h"

#include <QSignalBlocker>

namespace platform {

namespace {
constexpr int kMountPointRole = Qt::UserRole;
constexpr int kDriveTextRole = Qt::UserRole + 1;
} // namespace

DriveList::DriveList(Drives &drives, QWidget *parent) : QComboBox(parent), m_drives(drives)
{
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
    fill(m_drives.driveOf(m_drives.workingFolder()).mountPoint);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::onIndexChanged);
}

QString DriveList::drive() const
{
    return currentData(kDriveTextRole).toString();
}

bool DriveList::setDrive(const QString &text)
{
    const auto drive = m_drives.findByText(text);
    if (!drive || !Drives::isUsableFolder(drive->mountPoint))
        return false;
    int index = findData(drive->mountPoint, kMountPointRole);
    if (index < 0) {
        refreshDrives();
        index = findData(drive->mountPoint, kMountPointRole);
        if (index < 0)
            return false;
    }
    setCurrentIndex(index);
    return currentIndex() == index;
}

void DriveList::refreshDrives()
{
    const QString current = currentData(kMountPointRole).toString();
    m_drives.refresh();
    fill(current);
}

void DriveList::showPopup()
{
    // A medium may have been inserted or removed since the list was filled.
    refreshDrives();
    QComboBox::showPopup();
}

void DriveList::fill(const QString &keepMountPoint)
{
    const QSignalBlocker blocker(this);
    clear();
    for (const Drive &drive : m_drives.drives()) {
        // Shown readable; the text the list reports keeps a mount point's bytes.
        addItem(visibleName(drive.text()), drive.mountPoint);
        setItemData(count() - 1, drive.text(), kDriveTextRole);
    }
    int index = findData(keepMountPoint, kMountPointRole);
    if (index < 0)
        index = findData(m_drives.driveOf(keepMountPoint).mountPoint, kMountPointRole);
    setCurrentIndex(index < 0 ? 0 : index);
    m_acceptedIndex = currentIndex();
}

void DriveList::onIndexChanged(int index)
{
    if (index == m_acceptedIndex)
        return;
    const QString mountPoint = itemData(index, kMountPointRole).toString();
    if (index < 0 || !Drives::isUsableFolder(mountPoint)) {
        const QSignalBlocker blocker(this);
        setCurrentIndex(m_acceptedIndex);
        return;
    }
    m_acceptedIndex = index;
    Q_EMIT driveChanged(drive());
}

} // namespace platform
