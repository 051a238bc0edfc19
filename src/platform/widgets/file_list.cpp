#include "platform/widgets/file_list.h"

#include "platform/core/folder_entries.h"
#include "platform/core/paths.h"

#include <QItemSelectionModel>
#include <QMouseEvent>

#include <algorithm>
#include <vector>

namespace platform {

namespace {
// The name an entry has on disk, when it is not the text shown.
constexpr int kNameRole = Qt::UserRole;
} // namespace

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
    // Read by raw names: a name that is not UTF-8 is listed too, shown decoded, and kept by its
    // bytes for the search and the shell.
    QList<FolderEntry> entries;
    if (!readFolder(folder, entries))
        return false;
    struct Shown
    {
        QString text;
        QString name;
    };
    std::vector<Shown> shown;
    shown.reserve(entries.size());
    for (const FolderEntry &entry : std::as_const(entries)) {
        // FIFOs, sockets, devices and broken links are left out, and so are dot-files.
        if (entry.kind != FolderEntry::Kind::File || entry.name.startsWith('.'))
            continue;
        QString name = pathFromNative(entry.name);
        QString text = displayName(name);
        if (m_pattern.matches(text))
            shown.push_back({std::move(text), std::move(name)});
    }
    std::sort(shown.begin(), shown.end(), [](const Shown &a, const Shown &b) {
        const int order = QString::compare(a.text, b.text, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    clear();
    for (Shown &entry : shown) {
        auto *item = new QListWidgetItem(entry.text);
        if (entry.name != entry.text)
            item->setData(kNameRole, entry.name);
        addItem(item);
    }
    m_path = folder;
    return true;
}

QString FileList::entryName(int index) const
{
    const QListWidgetItem *entry = item(index);
    if (!entry)
        return QString();
    const QVariant name = entry->data(kNameRole);
    return name.isValid() ? name.toString() : entry->text();
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
