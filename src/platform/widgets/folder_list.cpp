#include "platform/widgets/folder_list.h"

#include "platform/core/folder_entries.h"
#include "platform/core/paths.h"
#include "platform/widgets/drives.h"

#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

namespace platform {

namespace {

constexpr int kPathRole = Qt::UserRole;

QIcon closedFolderIcon()
{
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("folder"),
                                               QFileIconProvider().icon(QFileIconProvider::Folder));
    return icon;
}

QIcon openFolderIcon()
{
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("folder-open"), closedFolderIcon());
    return icon;
}

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

} // namespace

FolderList::FolderList(Drives &drives, QWidget *parent) : QTreeWidget(parent), m_drives(drives)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setIndentation(10);
    setSelectionMode(QAbstractItemView::SingleSelection);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { openItem(item); });
}

bool FolderList::setPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString folder = cleanAbsolute(path);
    if (!Drives::isUsableFolder(folder))
        return false;
    // Going down into another mount from the drive shown keeps that drive's root above it.
    const QString root = !m_driveRoot.isEmpty() && Drives::isUnder(folder, m_driveRoot)
                             ? m_driveRoot
                             : m_drives.driveOf(folder).mountPoint;
    return showFolder(folder, root);
}

bool FolderList::setDrive(const QString &driveText)
{
    const auto drive = m_drives.findByText(driveText);
    if (!drive || !Drives::isUsableFolder(drive->mountPoint))
        return false;
    QString folder = m_drives.currentFolder(drive->mountPoint);
    if (!Drives::isUsableFolder(folder) || !Drives::isUnder(folder, drive->mountPoint))
        folder = drive->mountPoint;
    return showFolder(folder, drive->mountPoint);
}

bool FolderList::showFolder(const QString &folder, const QString &driveRoot)
{
    // Read by raw names, so that a folder whose name is not UTF-8 is listed (shown decoded) and
    // opened by its bytes. Dot-folders are left out.
    QList<FolderEntry> entries;
    readFolder(folder, entries);
    QStringList subfolders;
    for (const FolderEntry &entry : std::as_const(entries)) {
        if (entry.kind == FolderEntry::Kind::Folder && !entry.name.startsWith('.'))
            subfolders.append(pathFromNative(entry.name));
    }
    std::sort(subfolders.begin(), subfolders.end(), [](const QString &a, const QString &b) {
        const int order = QString::compare(displayName(a), displayName(b), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });

    clear();
    auto *root = new QTreeWidgetItem(this, QStringList(visibleName(driveRoot)));
    root->setData(0, kPathRole, driveRoot);
    QTreeWidgetItem *current = root;
    QString currentPath = driveRoot;
    const QString below = folder.mid(driveRoot.size());
    for (const QString &name : below.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        currentPath = childPath(currentPath, name);
        auto *item = new QTreeWidgetItem(current, QStringList(visibleName(name)));
        item->setData(0, kPathRole, currentPath);
        current = item;
    }
    for (QTreeWidgetItem *item = current; item; item = item->parent())
        item->setIcon(0, openFolderIcon());
    QList<QTreeWidgetItem *> children;
    children.reserve(subfolders.size());
    for (const QString &name : subfolders) {
        auto *item = new QTreeWidgetItem(QStringList(visibleName(name)));
        item->setData(0, kPathRole, childPath(folder, name));
        item->setIcon(0, closedFolderIcon());
        children.append(item);
    }
    current->addChildren(children);
    expandAll();
    setCurrentItem(current);
    scrollToItem(current);

    m_driveRoot = driveRoot;
    m_drives.setCurrentFolder(driveRoot, folder);
    if (folder == m_path)
        return true;
    m_path = folder;
    Q_EMIT pathChanged(m_path);
    return true;
}

void FolderList::openItem(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString folder = item->data(0, kPathRole).toString();
    if (folder != m_path)
        setPath(folder);
}

void FolderList::drawBranches(QPainter *, const QRect &, const QModelIndex &) const
{
    // Every level is always open: the indentation alone shows the nesting, without expand or
    // collapse marks.
}

void FolderList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

} // namespace platform
