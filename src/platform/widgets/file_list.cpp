#include "platform/widgets/file_list.h"

#include "platform/core/folder_entries.h"
#include "platform/core/paths.h"
#include "platform/core/tree_walk.h"

#include <QElapsedTimer>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QToolTip>

#include <algorithm>
#include <vector>

#include <unistd.h>

namespace platform {

struct FileList::Listing
{
    std::atomic<bool> stop{false};
};

FileList::FileList(QWidget *parent) : QListView(parent), m_model(new FileListModel(this))
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    // Right-button events come to this widget itself (no context menu, no parent handling).
    setContextMenuPolicy(Qt::PreventContextMenu);
}

FileList::~FileList()
{
    // Every listing thread hands its entries to this list: none may outlive it.
    stopListing();
    m_thread.stopAndJoin();
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
    if (m_pattern.isRecursive())
        return listTree(folder);
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
        if (m_pattern.matches(displayName(name)))
            shown.push_back({visibleName(name), std::move(name)});
    }
    std::sort(shown.begin(), shown.end(), [](const Shown &a, const Shown &b) {
        const int order = QString::compare(a.text, b.text, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    stopListing();
    QStringList texts;
    texts.reserve(qsizetype(shown.size()));
    FileListModel::Names names;
    for (Shown &entry : shown) {
        if (entry.name != entry.text)
            names.append({int(texts.size()), std::move(entry.name)});
        texts.append(std::move(entry.text));
    }
    m_model->clear();
    m_model->append(texts, names);
    m_path = folder;
    return true;
}

void FileList::stopListing()
{
    if (m_listing)
        m_listing->stop = true;
    m_listing.reset();
}

bool FileList::listTree(const QString &folder)
{
    // The folder must be readable now; what lies below is read on the listing's thread.
    const int fd = openFolder(folder);
    if (fd < 0)
        return false;
    ::close(fd);
    stopListing();
    m_model->clear();
    m_path = folder;
    auto listing = std::make_shared<Listing>();
    m_listing = listing;
    const QString patternText = m_pattern.pattern();
    const auto body = [this, listing, folder, patternText] {
        // Its own copy: nothing of the expression is shared with the user interface thread.
        const NamePattern pattern(patternText);
        QStringList shown;
        FileListModel::Names names; // entries whose held name is not the text shown
        QElapsedTimer sinceSent;
        sinceSent.start();
        bool sentAny = false;
        const auto send = [&] {
            if (shown.isEmpty())
                return;
            QMetaObject::invokeMethod(
                this,
                [this, listing, shown = std::move(shown), names = std::move(names)] {
                    append(listing, shown, names);
                },
                Qt::QueuedConnection);
            shown = QStringList();
            names.clear();
            sinceSent.restart();
            sentAny = true;
        };
        TreeWalk walk(
            [&pattern](const QString &name, bool inTop) {
                return inTop ? pattern.matches(name) : pattern.matchesBelow(name);
            },
            [&](QList<TreeFile> &&files) {
                for (TreeFile &file : files) {
                    if (file.name != file.shown)
                        names.append({int(shown.size()), std::move(file.name)});
                    shown.append(std::move(file.shown));
                }
                // The first entries at once, then batches a few times a second: each batch
                // costs the list one insertion, whatever its size.
                if (!sentAny || sinceSent.elapsed() >= 60)
                    send();
            },
            &listing->stop);
        walk.run(folder);
        send();
        QMetaObject::invokeMethod(
            this, [this, listing] { finish(listing); }, Qt::QueuedConnection);
    };
    m_thread = OwnedThread("listing", body, [listing] { listing->stop = true; });
    return true;
}

void FileList::append(const std::shared_ptr<Listing> &listing, const QStringList &shown,
                      const FileListModel::Names &names)
{
    if (listing != m_listing)
        return; // abandoned
    m_model->append(shown, names);
}

void FileList::finish(const std::shared_ptr<Listing> &listing)
{
    if (listing != m_listing)
        return;
    m_listing.reset();
    Q_EMIT listingFinished();
}

bool FileList::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.data().toString();
        // Only a name the list is too narrow for needs the tooltip.
        if (index.isValid() &&
            fontMetrics().horizontalAdvance(text) > viewport()->width() - visualRect(index).x()) {
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QListView::viewportEvent(event);
}

QString FileList::entryName(int index) const
{
    return m_model->name(index);
}

int FileList::entryCount() const
{
    return m_model->rowCount();
}

bool FileList::isEntrySelected(int index) const
{
    const QModelIndex entry = model()->index(index, 0);
    return entry.isValid() && selectionModel()->isSelected(entry);
}

QStringList FileList::entryNames() const
{
    return m_model->names();
}

QList<bool> FileList::entryMarks() const
{
    QList<bool> marks(entryCount(), false);
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        if (range.parent().isValid() || range.model() != m_model)
            continue;
        const int last = std::min(range.bottom(), int(marks.size()) - 1);
        for (int row = std::max(range.top(), 0); row <= last; ++row)
            marks[row] = true;
    }
    return marks;
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
    QListView::focusInEvent(event);
    if (!hadCurrent && currentIndex().isValid() && !selectionModel()->isSelected(currentIndex()))
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void FileList::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void FileList::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::RightButton)
        QListView::mouseReleaseEvent(event);
    else
        event->accept();
    Q_EMIT mouseReleased(event->button(), event->globalPosition().toPoint());
}

} // namespace platform
