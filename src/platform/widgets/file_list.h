#pragma once

#include "platform/core/program.h"
#include "platform/widgets/file_list_model.h"
#include "platform/widgets/name_pattern.h"

#include <QList>
#include <QListView>

#include <atomic>
#include <memory>

namespace platform {

// The file list: the regular files of one folder whose names match the pattern, sorted by name
// without regard to case, with extended multi-selection (click, Shift+click, Ctrl+click, Ctrl+A).
//
// A pattern with a "**/" part lists the folder's whole tree instead (see TreeWalk): entry names
// are then paths relative to the folder, with "/" between folder names, in tree-walk order. That
// listing runs on a thread of its own and fills the list as it goes; setting another folder or
// pattern abandons it at once. Entries listed so far can be marked, paged and searched while it
// runs. A tooltip shows an entry's whole name when the list is too narrow for it.
//
// Names are read by their bytes: one that is not UTF-8 is listed, shown decoded as GB18030, and
// matched against the pattern and sorted as shown. Hidden dot-files are left out, and so are FIFOs,
// sockets and devices, which could block a reader forever. Entries are addressed by index from 0 to
// entryCount() - 1; there is no limit on their number. The right mouse button never changes the
// selection: it is left to the owner, which hears of every released button through mouseReleased().
class FileList : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY(FileList)

public:
    explicit FileList(QWidget *parent = nullptr);
    ~FileList() override;

    // The folder listed; empty before the first set.
    QString path() const { return m_path; }
    // Lists that folder. Returns false, changing nothing, when it cannot be listed.
    bool setPath(const QString &folder);

    QString pattern() const { return m_pattern.pattern(); }
    // Sets the ";"-separated wildcard patterns and lists the folder again.
    void setPattern(const QString &pattern);

    // Reads the folder again.
    bool refresh();

    // True while a tree listing is still adding entries.
    bool isListing() const { return bool(m_listing); }

    int entryCount() const;
    // The bare file name of an entry as the program holds it (see paths.h: nativePath() gives its
    // bytes); the list shows it through displayName(). Empty for an index outside the list.
    QString entryName(int index) const;
    bool isEntrySelected(int index) const;
    // entryName() and isEntrySelected() of every entry in list order, in one pass over the
    // names and one over the selection's ranges.
    QStringList entryNames() const;
    QList<bool> entryMarks() const;
    void setEntrySelected(int index, bool selected);
    // The entry with the focus (-1 when none).
    int listIndex() const { return currentIndex().row(); }
    // Clears the whole selection, then selects that one entry, makes it the current entry and
    // scrolls to it. An index outside the list only clears the selection and returns false.
    bool selectOnly(int index);

Q_SIGNALS:
    void mouseReleased(Qt::MouseButton button, const QPoint &globalPosition);
    // A tree listing has added its last entry.
    void listingFinished();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    struct Listing;
    bool list(const QString &folder);
    bool listTree(const QString &folder);
    void stopListing();
    void append(const std::shared_ptr<Listing> &listing, const QStringList &shown,
                const FileListModel::Names &names);
    void finish(const std::shared_ptr<Listing> &listing);

    FileListModel *m_model;
    QString m_path;
    NamePattern m_pattern;
    std::shared_ptr<Listing> m_listing; // the tree listing under way, if any
    // The tree listing's thread (of the process's registry): a new listing stops and joins the
    // one before, which costs it at most the folder entry it is at.
    OwnedThread m_thread;
};

} // namespace platform
