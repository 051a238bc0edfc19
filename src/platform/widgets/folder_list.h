#pragma once

#include <QTreeWidget>

namespace platform {

class Drives;

// The folder list: the folders from the drive's root down to the current folder, then the
// current folder's subfolders, each level indented, with the desktop's folder icons.
//
// Double-click or Enter on a folder opens it. pathChanged() is raised whenever the current
// folder changes, by the user or by setPath()/setDrive(). The folder shown becomes its drive's
// current folder in the session's drive catalogue.
class FolderList : public QTreeWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(FolderList)

public:
    explicit FolderList(Drives &drives, QWidget *parent = nullptr);

    // The current folder, a clean absolute path ("/" for the root); empty before the first set.
    QString path() const { return m_path; }
    // Shows that folder. Returns false, changing nothing, when it does not exist or cannot be
    // listed.
    bool setPath(const QString &path);
    // Shows the current folder of the drive the text names (its root when that folder is gone).
    // Returns false, changing nothing, when the drive is not available.
    bool setDrive(const QString &driveText);

Q_SIGNALS:
    void pathChanged(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void drawBranches(QPainter *painter, const QRect &rect,
                      const QModelIndex &index) const override;

private:
    bool showFolder(const QString &folder, const QString &driveRoot);
    void openItem(QTreeWidgetItem *item);

    Drives &m_drives;
    QString m_path;
    QString m_driveRoot;
};

} // namespace platform
