#pragma once

#include "platform/core/file_ops.h"
#include "search/match/text_summary.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <unordered_map>

namespace textcache {

// The summaries of the entries the cache read or wrote, in memory by a hash of their key, so that
// a search of the same documents again opens no entry whose summary rules its keyword out; and the
// summaries file that carries them to the next process.
//
// Memory holds up to kMemory bytes of keys and bitmaps, the least recently used summaries dropped
// first. Each summary keeps its use time (seconds, exact to EntryStore::kMarkInterval), which
// eviction takes as the entry's use.
//
// The summaries file: the magic and the number of summaries; an index of them, a record each: the
// hash of the key, where its bytes lie in the file, the entry's id, the use time in seconds, the
// key's size, the outcome and the bitmap's size (as the log2 of its bits), two bytes unused; the
// index's checksum. Then each summary's bytes, where the index says: the key, the bitmap and their
// checksum. load() maps the file and checks its index only; a summary's own bytes are checked at
// its first use, by the thread that needs it, so that a search that finds most documents ruled out
// in memory starts at once. A file cut short, altered or of another layout is ignored (and replaced
// at the next save); it is never changed in place (a save writes a new one and renames it over),
// so the mapping stays whole. Safe to use from several threads.
class SummaryIndex
{
public:
    static constexpr qint64 kMemory = qint64(32) << 20;
    // The longest key an entry has: the FileKey, the version and a member's path.
    static constexpr qsizetype kMaxKeySize = 64 * 1024;

    // The index of the summaries file `path` (as the system names it).
    explicit SummaryIndex(QByteArray path) : m_path(std::move(path)) {}
    SummaryIndex(const SummaryIndex &) = delete;
    SummaryIndex &operator=(const SummaryIndex &) = delete;

    // The hash a summary is found by.
    static quint64 hashOf(QByteArrayView key);

    // Reads the summaries file at the first call; later calls return at once.
    void load();
    // True once summaries are in memory (read by load(), or kept since).
    bool holdsAny() const { return m_holdsAny.load(std::memory_order_relaxed); }

    // The outcome of the entry of `key` when its kept summary, found sound, rules `keyword` out
    // (the summary then counts as used); else nothing.
    std::optional<quint8> ruledOut(quint64 hash, QByteArrayView key,
                                   const search::TextSummary::Probe &keyword);
    // Keeps an entry's checked summary, used now; the least recently used ones make room when
    // kMemory is reached. False when it could not be kept (a summary larger than that allows).
    bool keep(quint64 hash, quint64 entryId, QByteArrayView key, QByteArrayView bitmap,
              quint8 outcome);
    void forget(quint64 hash);
    // The summaries' use times in nanoseconds, by their entries' id.
    std::unordered_map<quint64, qint64> useTimes();

    // When the summaries changed since they were read or last written, hands the file's bytes to
    // `write` (which replaces the file at once); a failed write leaves them due.
    void save(const std::function<bool(QByteArrayView)> &write);

private:
    struct Kept
    {
        QByteArray key; // the entry's key, compared in full (the map's key is its hash)
        QByteArray bitmap;
        quint64 entryId = 0; // the entry file's name as a number (EntryStore::entryId())
        quint8 outcome = 0;
        std::atomic<qint64> usedAt{0}; // seconds; exact to EntryStore::kMarkInterval
        // Read from the summaries file: checked at first use.
        enum State : quint8 { Sound, Unchecked, Damaged };
        mutable std::atomic<quint8> state{Sound};
    };

    static bool isSound(const Kept &kept);
    void noteUse(Kept &kept);
    void erase(std::unordered_map<quint64, Kept>::iterator kept);
    void dropOld();
    bool readIndex(QByteArrayView file);
    QByteArray fileBytes();

    const QByteArray m_path;
    // The mapped summaries file, which summaries read from it point in: it outlives them.
    platform::MappedFile m_file;
    std::shared_mutex m_mutex;
    std::unordered_map<quint64, Kept> m_kept;
    qint64 m_bytes = 0; // the keys and bitmaps in m_kept
    std::atomic<bool> m_loaded{false};
    std::atomic<bool> m_holdsAny{false};
    std::atomic<bool> m_changed{false};
    std::mutex m_saving;
};

} // namespace textcache
