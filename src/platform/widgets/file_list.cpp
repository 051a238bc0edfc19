#include "platform/widgets/file_list.h"

#include <QDir>
#include <QItemSelectionModel>
#include <QMouseEvent>

#include <algorithm>

namespace platform {

FileList::FileList(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    // Right-button events come to this widget itself (no context menu, no parent handling).
    setContextMenuPolicy(Qt::PreventContextMenu);
}

bool FileList::setPath(const QString &folder)
{
    return list(folder);
}

void FileList::setPattern(const QString &pattern)
{
    m_pattern = NamePattern(pattern);
    if (!m_path.isEmpty())
        list(m_path);
}

bool FileList::refresh()
{
    return !m_path.isEmpty() && list(m_path);
}

bool FileList::list(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QDir dir(folder);
    if (!dir.exists() || !dir.isReadable())
        return false;
    // Without QDir::System, FIFOs, sockets, devices and broken links are left out; without
    // QDir::Hidden, dot-files are.
    const QStringList names = dir.entryList(QDir::Files, QDir::Unsorted);
    QStringList shown;
    shown.reserve(names.size());
    for (const QString &name : names) {
        if (m_pattern.matches(name))
            shown.append(name);
    }
    // Sorted here rather than by QDir, whose sort builds a file information record per name
    // and takes longer than the listing itself in a large folder.
    std::sort(shown.begin(), shown.end(), [](const QString &a, const QString &b) {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    clear();
    addItems(shown);
    m_path = folder;
    return true;
}

QString FileList::entryName(int index) const
{
    const QListWidgetItem *entry = item(index);
    return entry ? entry->text() : QString();
}

bool FileList::isEntrySelected(int index) const
{
    const QModelIndex entry = model()->index(index, 0);
    return entry.isValid() && selectionModel()->isSelected(entry);
}

void FileList::setEntrySelected(int index, bool selected)
{
    const QModelIndex entry = model()->index(index, 0);
    if (entry.isValid())
        selectionModel()->select(entry, selected ? QItemSelectionModel::Select
                                                 : QItemSelectionModel::Deselect);
}

bool FileList::selectOnly(int index)
{
    const QModelIndex entry = model()->index(index, 0);
    if (!entry.isValid()) {
        clearSelection();
        return false;
    }
    selectionModel()->setCurrentIndex(entry, QItemSelectionModel::ClearAndSelect);
    scrollTo(entry);
    return true;
}

void FileList::focusInEvent(QFocusEvent *event)
{
    // Item views make the first entry current when they get the focus; here the current entry
    // stays -1 until the user picks one, so that paging starts from the top of the list.
    const bool hadCurrent = currentIndex().isValid();
    QListWidget::focusInEvent(event);
    if (!hadCurrent && currentIndex().isValid() && !selectionModel()->isSelected(currentIndex()))
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void FileList::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void FileList::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::RightButton)
        QListWidget::mouseReleaseEvent(event);
    else
        event->accept();
    Q_EMIT mouseReleased(event->button(), event->globalPosition().toPoint());
}

} // namespace platform
