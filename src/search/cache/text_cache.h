#pragma once

#include "search/cache/entry_file.h"
#include "search/cache/entry_store.h"
#include "search/cache/summary_index.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace textcache {

// What tells a file's content. Where the file system tells every change by the times
// (platform::timesTellChanges: ext4, btrfs, xfs, tmpfs), the key is read without reading the file:
// any write to it, a rename over it or a time set back by hand changes at least one of the times
// (the change time cannot be set back). Elsewhere (vfat, exFAT: times to 2 s, no change time of
// their own) a rewrite of the same size can keep all of them, so the key holds XXH3-64 of the
// whole file as well, read each time the key is made: far less than extracting the document
// again, and never a stale text.
struct FileKey
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    // XXH3-64 of the file's bytes where the times do not tell its changes; 0 where they do.
    quint64 contentHash = 0;

    // The key of the file at `path` now; nothing when it cannot be read.
    static std::optional<FileKey> of(const QString &path);
    // The key of the open file `fd`.
    static std::optional<FileKey> ofOpen(int fd);
    // The key of the open file `fd` when it can be made without reading the file (its times tell
    // its changes); nothing otherwise.
    static std::optional<FileKey> ofOpenWithoutReading(int fd);
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
// An entry is named by a hash of its key: the file's FileKey (with the hash of its content where
// the file system's times do not tell its changes), the extractor's version and, for a member of
// an archive, the member's path. Its head holds the key again (a hash collision is
// never served), the outcome, the text's TextSummary and a checksum of all of these; then the text
// follows as a zstd frame with its content checksum. An entry that is cut short or corrupt fails
// one of those checks, is ignored and removed, and is written anew by the next extraction. A find
// for a keyword reads the head alone when its summary rules the keyword out. Entries are written to
// a temporary file and renamed into place, so a reader never sees half of one. When the folder
// grows past its limit the entries used least recently are removed until it is 90 % full.
//
// The summaries this cache read or wrote stay in memory (up to 32 MiB, the least recently used
// dropped first): the next find for a keyword they rule out opens no file at all. saveSummaries()
// writes them to one file of the folder (atomically, with a checksum), which the next process
// reads at its first find, so that a search of the same documents in a new session opens no entry
// either. An entry is used when its text is read (its modification time is set then, unless this
// cache did so a short while ago, EntryStore::kMarkInterval) or when its summary answers (the
// summary's use time, kept with it, exact to that interval); eviction goes by the later of the two,
// so that searching the same documents again and again writes nothing per entry.
//
// The parts: EntryFile reads and writes one entry's bytes, EntryStore keeps the folder (its
// entries, their use, eviction), SummaryIndex the summaries in memory and their file.
//
// A folder that cannot be made or written (a file in its place, a read-only home, a full disk)
// turns the cache off: finds miss and stores do nothing, and searching only loses speed.
// Safe to use from several threads.
class TextCache
{
public:
    static constexpr qint64 kDefaultLimit = qint64(1) << 30;
    // Texts longer than this are not kept (a multi-thousand-page document is re-extracted).
    static constexpr qsizetype kMaxTextChars = EntryFile::kMaxTextChars;

    explicit TextCache(QString folder, qint64 limitBytes = kDefaultLimit);
    ~TextCache();
    TextCache(const TextCache &) = delete;
    TextCache &operator=(const TextCache &) = delete;

    // $XDG_CACHE_HOME/quarlex, or ~/.cache/quarlex.
    static QString defaultFolder();

    const QString &folder() const { return m_store.folder(); }
    // False when the folder cannot be made or used.
    bool usable();

    std::optional<CachedText> find(const FileKey &key, QByteArrayView version,
                                   QStringView member = {});
    // As find(), for a search of `keyword`: when the entry's summary shows that its text cannot
    // hold the keyword, only the entry's head is read and the result has `keywordAbsent` set.
    std::optional<CachedText> findFor(const search::TextSummary::Probe &keyword, const FileKey &key,
                                      QByteArrayView version, QStringView member = {});
    std::optional<CachedText> findFor(QStringView keyword, const FileKey &key,
                                      QByteArrayView version, QStringView member = {})
    {
        return findFor(search::TextSummary::probe(keyword), key, version, member);
    }
    // The answer of the summaries in memory alone, without opening any file: a result with
    // `keywordAbsent` set when the kept summary for the key rules `keyword` out, else nothing.
    std::optional<CachedText> findKept(const search::TextSummary::Probe &keyword,
                                       const FileKey &key, QByteArrayView version,
                                       QStringView member = {});
    std::optional<CachedText> findKept(QStringView keyword, const FileKey &key,
                                       QByteArrayView version, QStringView member = {})
    {
        return findKept(search::TextSummary::probe(keyword), key, version, member);
    }
    // True once summaries are in memory (read from the summaries file by a first find, or kept
    // since), when findKept() may answer.
    bool holdsSummaries() const { return m_summaries.holdsAny(); }
    // Writes the summaries in memory to the folder's summaries file, when they changed since it
    // was read or last written. Meant for when a search is over (it writes up to 32 MiB).
    void saveSummaries();
    // True when an entry for the key exists (not checked: find() may still reject it).
    bool contains(const FileKey &key, QByteArrayView version, QStringView member = {});
    // False when the entry could not be written (the cache then stays as it was).
    bool store(const FileKey &key, QByteArrayView version, QStringView member, quint8 outcome,
               QStringView text);

    // The bytes of all entries, as the cache counts them (for tests and the benchmark).
    qint64 totalBytes();

private:
    std::optional<CachedText> lookup(const FileKey &key, QByteArrayView version, QStringView member,
                                     const search::TextSummary::Probe *keyword);
    std::optional<CachedText> keptAnswer(quint64 hash, QByteArrayView key,
                                         const search::TextSummary::Probe &keyword);
    std::optional<CachedText> readEntry(quint64 hash, QByteArrayView key,
                                        const search::TextSummary::Probe *keyword);
    std::nullopt_t reject(const QByteArray &path, quint64 hash);
    void markUsed(const EntryFile &entry, quint64 id);
    static void keyBytes(QByteArray &out, const FileKey &key, QByteArrayView version,
                         QStringView member);

    EntryStore m_store;
    SummaryIndex m_summaries;
};

// The cache of the user's own cache folder (defaultFolder()), made on first use.
TextCache &userCache();

} // namespace textcache
