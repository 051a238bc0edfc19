#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <unordered_map>

namespace textcache {

// The cache's folder and the entry files in it.
//
// The folder is the user's own, mode 0700 (it holds the text of the user's documents); when it
// cannot be made or used the store is not usable and the cache stays off. An entry is named by a
// hash of its key and written to a temporary file renamed into place, so a reader never sees half
// of one. When the entries grow past the limit, the ones used least recently are removed until
// they take 90 % of it; an entry's use is the later of its modification time (set when its text is
// read, see markDue()) and the use time of its summary, which the caller tells. Temporary files
// that a stopped program left behind are removed when the folder is counted, an hour after.
// Safe to use from several threads.
class EntryStore
{
public:
    // An entry marked used (or written) is marked again only this many seconds later: searching
    // the same documents again and again costs no write per entry, and the order of use stays
    // right to within this.
    static constexpr qint64 kMarkInterval = 600;

    // The later use of entries than their modification time tells, in nanoseconds, by entryId().
    using UseTimes = std::unordered_map<quint64, qint64>;

    EntryStore(QString folder, qint64 limitBytes);

    const QString &folder() const { return m_folder; }
    // Makes the folder at the first call; false when it cannot be made or used.
    bool usable();

    // The entry file of `key`, as the system names it.
    void entryPath(QByteArray &out, QByteArrayView key) const;
    // Another file of the folder (not an entry), as the system names it.
    QByteArray filePath(QByteArrayView name) const;
    // An entry's name as a number: the first 16 hex digits of its hash.
    static quint64 entryId(QByteArrayView path);

    bool contains(const QByteArray &path) const;
    void remove(const QByteArray &path) const;
    // Writes `bytes` as the file `path` of the folder, replacing it at once; false when it could
    // not be written (the folder then stays as it was).
    bool write(const QByteArray &path, QByteArrayView bytes) const;

    // True when the entry `id`, used now, is to be marked used (its modification time set): when
    // this store did not mark or write it within kMarkInterval. Notes it marked.
    bool markDue(quint64 id);
    // The entry `id` of `bytes` was written: it counts as marked, and when the folder is over its
    // limit the least recently used entries go, their use told by `useTimes` too.
    void added(quint64 id, qint64 bytes, const std::function<UseTimes()> &useTimes);
    // The bytes of all entries, counted now.
    qint64 totalBytes();

private:
    void countEntries();
    void evict(const UseTimes &useTimes);

    QString m_folder;
    QByteArray m_nativeFolder;
    qint64 m_limit;
    std::mutex m_mutex;                // the folder's check, the count of bytes, m_marked
    std::atomic<int> m_folderState{0}; // 0 unchecked, 1 usable, 2 not usable
    qint64 m_total = -1;               // -1 until the folder has been counted
    std::unordered_map<quint64, qint64> m_marked; // entry (entryId) -> when marked, in seconds
};

} // namespace textcache
