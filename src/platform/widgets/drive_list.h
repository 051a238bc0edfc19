#pragma once

#include <QComboBox>

namespace platform {

class Drives;

// The drive list: a drop-down of the drives of the session (see Drives).
//
// driveChanged() is raised whenever the current drive changes, by the user or by setDrive().
// A drive that is gone or cannot be read is refused without a word: the list goes back to the
// drive it showed and raises nothing.
class DriveList : public QComboBox
{
    Q_OBJECT
    Q_DISABLE_COPY(DriveList)

public:
    // Starts on the drive that holds the working folder of `drives`.
    explicit DriveList(Drives &drives, QWidget *parent = nullptr);

    // The current drive's text ("/", "/media/usb [STICK]").
    QString drive() const;
    // Selects the drive the text names, matched by mount point (a changed label does not
    // matter). Returns false, changing nothing, when no such drive is available.
    bool setDrive(const QString &text);

    // Lists the drives again, keeping the current one.
    void refreshDrives();

    void showPopup() override;

Q_SIGNALS:
    void driveChanged(const QString &driveText);

private:
    void fill(const QString &keepMountPoint);
    void onIndexChanged(int index);

    Drives &m_drives;
    int m_acceptedIndex = -1;
};

} // namespace platform
