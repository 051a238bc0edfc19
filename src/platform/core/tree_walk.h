#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <functional>

namespace platform {

// One file found by a tree walk.
struct TreeFile
{
    QString name;  // relative to the walked folder, "/" between folders, held as in paths.h
    QString shown; // the same as the user reads it (visibleName)
};

// Walks a folder and all its subfolders, giving the files whose shown bare name `accept` takes.
//
// Order is that of a tree walk: a folder's own files first, by shown name without regard to
// case, then its subfolders in the same order, each walked whole before the next. Dot-files
// and dot-folders are left out; symbolic links to folders are not followed (no loops), links
// to files are listed; folders that cannot be read are skipped; the kernel's virtual file
// systems (/proc, /sys, /dev, /run but for the removable media in /run/media) are never entered.
// `accept` gets the bare name and whether the file lies in the walked folder itself (depth 0).
//
// Files are handed to `deliver` folder by folder, in order. The walk ends early, at the next
// name, once `stop` is set.
class TreeWalk
{
public:
    using Accept = std::function<bool(const QString &shownName, bool inTop)>;
    using Deliver = std::function<void(QList<TreeFile> &&files)>;

    TreeWalk(Accept accept, Deliver deliver, const std::atomic<bool> *stop = nullptr);

    // Returns false when the folder itself cannot be read (nothing is delivered then).
    bool run(const QString &folder);

    // True for the virtual file systems a walk never enters (the folder or anything below it).
    static bool isVirtualFileSystem(const QString &absolutePath);

private:
    void walk(int fd, const QString &absolute, const QString &relative);
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    Accept m_accept;
    Deliver m_deliver;
    const std::atomic<bool> *m_stop;
};

} // namespace platform
