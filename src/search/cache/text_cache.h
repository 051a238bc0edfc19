#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <mutex>
#include <optional>
#include <unordered_map>

namespace textcache {

// What tells a file's content without reading it: any write to the file, a rename over it or a
// time set back by hand changes at least one of these (the change time cannot be set back).
struct FileKey
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    // The key of the file at `path` now; nothing when it cannot be read.
    static std::optional<FileKey> of(const QString &path);
};

// The text of one document as a cache entry holds it: the extraction's outcome (a
// documents::Outcome as a number) and the text it gave.
struct CachedText
{
    quint8 outcome = 0;
    QString text;
    // Found for a keyword that the entry's summary shows the text cannot hold: the text was not
    // read and `text` is empty.
    bool keywordAbsent = false;
};

// The extracted text of searched documents, kept compressed in a folder of the user's own
// (mode 0700), so that searching the same documents again costs what searching text costs.
//
// An entry is named by a hash of its key: the file's FileKey, the extractor's version and, for a
// member of an archive, the member's path. Its head holds the key again (a hash collision is
// never served), the outcome, the text's TextSummary and a checksum of all of these; then the text
// follows as a zstd frame with its content checksum. An entry that is cut short or corrupt fails
// one of those checks, is ignored and removed, and is written anew by the next extraction. A find
// for a keyword reads the head alone when its summary rules the keyword out. Entries are written to
// a temporary file and renamed into place, so a reader never sees half of one. When the folder
// grows past its limit the entries used least recently are removed until it is 90 % full. A hit
// marks the entry used by setting its modification time, unless this cache marked or wrote it a
// short while ago (kMarkInterval), so that searching the same documents again and again writes
// nothing. The summaries this cache read or wrote stay in memory (up to 32 MiB): the next find
// for a keyword they rule out opens no file at all.
//
// A folder that cannot be made or written (a file in its place, a read-only home, a full disk)
// turns the cache off: finds miss and stores do nothing, and searching only loses speed.
// Safe to use from several threads.
class TextCache
{
public:
    static constexpr qint64 kDefaultLimit = qint64(1) << 30;
    // Texts longer than this are not kept (a multi-thousand-page document is re-extracted).
    static constexpr qsizetype kMaxTextChars = qsizetype(32) << 20;

    explicit TextCache(QString folder, qint64 limitBytes = kDefaultLimit);

    // $XDG_CACHE_HOME/quarlex, or ~/.cache/quarlex.
    static QString defaultFolder();

    const QString &folder() const { return m_folder; }
    // False when the folder cannot be made or used.
    bool usable();

    std::optional<CachedText> find(const FileKey &key, QByteArrayView version,
                                   QStringView member = {});
    // As find(), for a search of `keyword`: when the entry's summary shows that its text cannot
    // hold the keyword, only the entry's head is read and the result has `keywordAbsent` set.
    std::optional<CachedText> findFor(QStringView keyword, const FileKey &key,
                                      QByteArrayView version, QStringView member = {});
    // True when an entry for the key exists (not checked: find() may still reject it).
    bool contains(const FileKey &key, QByteArrayView version, QStringView member = {});
    // False when the entry could not be written (the cache then stays as it was).
    bool store(const FileKey &key, QByteArrayView version, QStringView member, quint8 outcome,
               QStringView text);

    // The bytes of all entries, as the cache counts them (for tests and the benchmark).
    qint64 totalBytes();

private:
    std::optional<CachedText> lookup(const FileKey &key, QByteArrayView version, QStringView member,
                                     const QStringView *keyword);
    void markUsed(int fd, const QByteArray &path);
    bool markDue(quint64 id);
    void keepSummary(quint64 id, QByteArrayView key, QByteArrayView bitmap, quint8 outcome);
    void forgetSummary(quint64 id);
    void keyBytes(QByteArray &out, const FileKey &key, QByteArrayView version,
                  QStringView member) const;
    // The entry's file name, as the system takes it.
    void entryPath(QByteArray &out, QByteArrayView key) const;
    bool ensureFolder();
    void countEntries();
    void evict();

    // An entry this cache marked used (or wrote) is marked again only this many seconds later.
    static constexpr qint64 kMarkInterval = 600;

    QString m_folder;
    QByteArray m_nativeFolder;
    qint64 m_limit;
    std::mutex m_mutex;
    bool m_folderChecked = false;
    bool m_usable = true;
    qint64 m_total = -1;                          // -1 until the folder has been counted
    std::unordered_map<quint64, qint64> m_marked; // entry (entryId) -> when marked, in seconds
    // The summaries of entries read or written, so that a search of the same documents again
    // opens no entry that rules its keyword out.
    struct KeptSummary
    {
        QByteArray key;
        QByteArray bitmap;
        quint8 outcome = 0;
    };
    static constexpr qint64 kSummaryMemory = qint64(32) << 20;
    std::unordered_map<quint64, KeptSummary> m_summaries; // by entryId
    qint64 m_summaryBytes = 0;
};

// The cache of the user's own cache folder (defaultFolder()), made on first use.
TextCache &userCache();

} // namespace textcache
