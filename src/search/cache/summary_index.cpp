#include "search/cache/summary_index.h"

#include "search/cache/cache_bytes.h"
#include "search/cache/entry_store.h"
#include "search/match/text_summary.h"

#include <algorithm>
#include <bit>
#include <ctime>
#include <vector>

namespace textcache {

using search::TextSummary;

namespace {

// Layout 2: keys of entry layout 3 (the FileKey with its content hash). A file of layout 1 holds
// only keys no entry has any more; it is ignored and replaced at the next save.
constexpr char kMagic[8] = {'Q', 'X', 'T', 'S', 'U', 'M', 'S', '2'};
// The magic, the number of summaries, the index's checksum.
constexpr qsizetype kHead = 8 + 8 + 8;
constexpr qsizetype kIndexRecord = 8 + 8 + 8 + 8 + 4 + 1 + 1 + 2;

qint64 now()
{
    return qint64(std::time(nullptr));
}

} // namespace

quint64 SummaryIndex::hashOf(QByteArrayView key)
{
    return bytes::checksum(key);
}

std::optional<quint8> SummaryIndex::ruledOut(quint64 hash, QByteArrayView key,
                                             const search::TextSummary::Probe &keyword)
{
    std::shared_lock lock(m_mutex);
    const auto kept = m_kept.find(hash);
    if (kept == m_kept.end() || !isSound(kept->second) || kept->second.key != key ||
        TextSummary::mayHold(kept->second.bitmap, keyword))
        return std::nullopt;
    noteUse(kept->second);
    return kept->second.outcome;
}

// The summary answered now: its use time moves, and with it the summaries file is due, when it
// is EntryStore::kMarkInterval old.
void SummaryIndex::noteUse(Kept &kept)
{
    const qint64 time = now();
    if (time - kept.usedAt.load(std::memory_order_relaxed) < EntryStore::kMarkInterval)
        return;
    kept.usedAt.store(time, std::memory_order_relaxed);
    m_changed.store(true, std::memory_order_relaxed);
}

bool SummaryIndex::keep(quint64 hash, quint64 entryId, QByteArrayView key, QByteArrayView bitmap,
                        quint8 outcome)
{
    const qint64 bytes = key.size() + bitmap.size();
    if (bytes > kMemory / 4)
        return false;
    std::unique_lock lock(m_mutex);
    if (const auto known = m_kept.find(hash); known != m_kept.end() && known->second.key == key &&
                                              known->second.bitmap == bitmap &&
                                              known->second.outcome == outcome) {
        noteUse(known->second);
        return true;
    }
    if (m_bytes + bytes > kMemory)
        dropOld();
    // Another summary of the key, or of a key with the same hash: the newer takes its place.
    if (const auto other = m_kept.find(hash); other != m_kept.end())
        erase(other);
    Kept &kept = m_kept[hash];
    kept.key = key.toByteArray();
    kept.bitmap = bitmap.toByteArray();
    kept.entryId = entryId;
    kept.outcome = outcome;
    kept.usedAt.store(now(), std::memory_order_relaxed);
    m_bytes += bytes;
    m_changed.store(true, std::memory_order_relaxed);
    m_holdsAny.store(true, std::memory_order_relaxed);
    return true;
}

void SummaryIndex::forget(quint64 hash)
{
    std::unique_lock lock(m_mutex);
    const auto kept = m_kept.find(hash);
    if (kept == m_kept.end())
        return;
    erase(kept);
    m_changed.store(true, std::memory_order_relaxed);
}

// Called with the mutex held exclusively.
void SummaryIndex::erase(std::unordered_map<quint64, Kept>::iterator kept)
{
    m_bytes -= kept->second.key.size() + kept->second.bitmap.size();
    m_kept.erase(kept);
}

// Drops the least recently used summaries until three quarters of kMemory are left. Called with
// the mutex held exclusively.
void SummaryIndex::dropOld()
{
    std::vector<std::pair<qint64, quint64>> byUse;
    byUse.reserve(m_kept.size());
    for (const auto &[hash, kept] : m_kept)
        byUse.emplace_back(kept.usedAt.load(std::memory_order_relaxed), hash);
    std::sort(byUse.begin(), byUse.end());
    for (const auto &[usedAt, hash] : byUse) {
        if (m_bytes <= kMemory / 4 * 3)
            break;
        erase(m_kept.find(hash));
    }
}

std::unordered_map<quint64, qint64> SummaryIndex::useTimes()
{
    std::unordered_map<quint64, qint64> times;
    std::shared_lock lock(m_mutex);
    for (const auto &[hash, kept] : m_kept)
        times[kept.entryId] = kept.usedAt.load(std::memory_order_relaxed) * 1000000000;
    return times;
}

void SummaryIndex::load()
{
    if (m_loaded.load(std::memory_order_acquire))
        return;
    std::unique_lock lock(m_mutex);
    if (m_loaded.load(std::memory_order_relaxed))
        return;
    m_loaded.store(true, std::memory_order_release);
    m_file = platform::MappedFile::map(m_path, kHead, 2 * kMemory);
    if (!m_file.isEmpty() && readIndex(m_file.bytes()))
        m_holdsAny.store(!m_kept.empty(), std::memory_order_relaxed);
}

// Takes the summaries the mapped file's index lists, unchecked, up to kMemory; none when the
// index is not sound. False when a record of a sound index is not (the summaries before it are
// kept, for finds that open their entries' files, but do not make holdsAny() true). Called with
// the mutex held exclusively.
bool SummaryIndex::readIndex(QByteArrayView file)
{
    const quint64 count = bytes::numberAt(file, 8, 8);
    if (file.first(8) != QByteArrayView(kMagic, 8) ||
        count > quint64((file.size() - kHead) / kIndexRecord))
        return true;
    const qsizetype indexEnd = 16 + qsizetype(count) * kIndexRecord;
    if (bytes::numberAt(file, indexEnd, 8) != bytes::checksum(file.first(indexEnd)))
        return true;
    for (qsizetype at = 16; at < indexEnd; at += kIndexRecord) {
        const quint64 offset = bytes::numberAt(file, at + 8, 8);
        const qsizetype keySize = qsizetype(bytes::numberAt(file, at + 32, 4));
        const int log2 = quint8(file[at + 37]);
        if (log2 < TextSummary::kMinBitsLog2 || log2 > TextSummary::kMaxBitsLog2)
            return false;
        const qsizetype bitmapSize = qsizetype(1) << (log2 - 3);
        if (offset < quint64(indexEnd + 8) || offset > quint64(file.size()) ||
            keySize > kMaxKeySize || qsizetype(offset) + keySize + bitmapSize + 8 > file.size())
            return false;
        if (m_bytes + keySize + bitmapSize > kMemory)
            break;
        const quint64 hash = bytes::numberAt(file, at, 8);
        if (m_kept.contains(hash))
            continue;
        Kept &kept = m_kept[hash];
        // The bytes stay in the mapping, which lives as long as the index.
        kept.key = QByteArray::fromRawData(file.data() + offset, keySize);
        kept.bitmap = QByteArray::fromRawData(file.data() + offset + keySize, bitmapSize);
        kept.entryId = bytes::numberAt(file, at + 16, 8);
        kept.usedAt.store(qint64(bytes::numberAt(file, at + 24, 8)), std::memory_order_relaxed);
        kept.outcome = quint8(file[at + 36]);
        kept.state.store(Kept::Unchecked, std::memory_order_relaxed);
        m_bytes += keySize + bitmapSize;
    }
    return true;
}

// True when the summary's bytes are sound: one read from the summaries file is checked against
// its checksum at its first use (two threads doing so at once find the same).
bool SummaryIndex::isSound(const Kept &kept)
{
    const int state = kept.state.load(std::memory_order_acquire);
    if (state != Kept::Unchecked)
        return state == Kept::Sound;
    // The record: the key, the bitmap right after it, their checksum.
    const QByteArrayView record(kept.key.constData(), kept.key.size() + kept.bitmap.size());
    const bool sound = bytes::numberAt(QByteArrayView(record.data(), record.size() + 8),
                                       record.size(), 8) == bytes::checksum(record);
    kept.state.store(sound ? Kept::Sound : Kept::Damaged, std::memory_order_release);
    return sound;
}

void SummaryIndex::save(const std::function<bool(QByteArrayView)> &write)
{
    if (!m_changed.load(std::memory_order_relaxed))
        return;
    std::lock_guard saving(m_saving);
    if (!m_changed.exchange(false))
        return;
    if (!write(fileBytes()))
        m_changed.store(true);
}

// The summaries file of the sound summaries in memory.
QByteArray SummaryIndex::fileBytes()
{
    std::shared_lock lock(m_mutex);
    std::vector<std::pair<quint64, const Kept *>> sound;
    sound.reserve(m_kept.size());
    qsizetype size = 0;
    for (const auto &[hash, kept] : m_kept) {
        if (isSound(kept)) {
            sound.emplace_back(hash, &kept);
            size += kept.key.size() + kept.bitmap.size() + 8;
        }
    }
    const qsizetype indexEnd = 16 + qsizetype(sound.size()) * kIndexRecord;
    QByteArray file;
    file.reserve(indexEnd + 8 + size);
    file.append(kMagic, 8);
    bytes::appendNumber(file, quint64(sound.size()), 8);
    quint64 offset = quint64(indexEnd + 8);
    for (const auto &[hash, kept] : sound) {
        bytes::appendNumber(file, hash, 8);
        bytes::appendNumber(file, offset, 8);
        bytes::appendNumber(file, kept->entryId, 8);
        bytes::appendNumber(file, quint64(kept->usedAt.load(std::memory_order_relaxed)), 8);
        bytes::appendNumber(file, quint64(kept->key.size()), 4);
        file.append(char(kept->outcome));
        file.append(char(std::countr_zero(quint64(kept->bitmap.size())) + 3));
        bytes::appendNumber(file, 0, 2);
        offset += quint64(kept->key.size() + kept->bitmap.size() + 8);
    }
    bytes::appendNumber(file, bytes::checksum(file), 8);
    for (const auto &[hash, kept] : sound) {
        const qsizetype recordAt = file.size();
        file.append(kept->key);
        file.append(kept->bitmap);
        bytes::appendNumber(file, bytes::checksum(QByteArrayView(file).sliced(recordAt)), 8);
    }
    return file;
}

} // namespace textcache
