#include "search/cache/text_cache.h"

#include "search/cache/text_summary.h"

#include "platform/core/paths.h"
#include "platform/core/write_all.h"

#include <QCryptographicHash>
#include <QDir>
#include <QScopeGuard>
#include <QStandardPaths>

// The head's checksum, compiled in: no library to load for it.
#define XXH_INLINE_ALL
#include <xxhash.h>
#include <zstd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace textcache {

namespace {

// The entry's layout: the magic; the key's size and the key; the outcome, the text's length in
// characters and the summary's size (as the log2 of its bits); the summary; a checksum of all of
// these (the head); the text's zstd frame.
constexpr char kMagic[8] = {'Q', 'X', 'T', 'C', 'A', 'C', 'H', '2'};
constexpr qsizetype kHeadFixed = 8 + 4 + 1 + 8 + 1 + 8;
constexpr char kEntrySuffix[] = ".qtc";
constexpr char kTempPrefix[] = "tmp-";
constexpr int kCompressionLevel = 3;
// The first read of an entry, before any was read: the head of a text of some tens of pages.
constexpr qsizetype kFirstRead = 16 * 1024;
// The summaries file: the magic and the number of summaries; an index of them, a record each:
// the hash of the key, where its bytes lie in the file, the entry's id, the use time in seconds,
// the key's size, the outcome and the bitmap's size (as the log2 of its bits), two bytes unused;
// the index's checksum. Then each summary's bytes, where the index says: the key, the bitmap and
// their checksum.
constexpr char kSummariesMagic[8] = {'Q', 'X', 'T', 'S', 'U', 'M', 'S', '1'};
constexpr char kSummariesName[] = "summaries.qts";
constexpr qsizetype kIndexRecord = 8 + 8 + 8 + 8 + 4 + 1 + 1 + 2;
constexpr qsizetype kSummariesHead = 8 + 8 + 8;
// The longest key an entry has: the FileKey, the version and a member's path.
constexpr qsizetype kMaxKeySize = 64 * 1024;

qint64 nanoseconds(const struct timespec &t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void appendNumber(QByteArray &out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

quint64 numberAt(QByteArrayView bytes, qsizetype at, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value |= quint64(quint8(bytes[at + i])) << (8 * i);
    return value;
}

// An entry opened for reading; -1 when there is none. Without updating its access time (the
// entries are the user's own files): a search that only reads heads writes nothing.
int openEntry(const QByteArray &path)
{
    int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    return fd;
}

// Up to `size` bytes at `offset`, fewer only at the end of the file; -1 on a read error.
qsizetype readAt(int fd, char *to, qsizetype size, qint64 offset)
{
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, to + got, size_t(size - got), off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// The head's checksum: XXH3, several times faster than a CRC-32 over a summary of some KiB.
quint64 checksum(QByteArrayView bytes)
{
    return quint64(XXH3_64bits(bytes.data(), size_t(bytes.size())));
}

// The summaries' map key for an entry's key.
quint64 keyHash(QByteArrayView key)
{
    return quint64(XXH3_64bits(key.data(), size_t(key.size())));
}

// An entry's name as a number: the first 16 hex digits of its hash.
quint64 entryId(QByteArrayView path)
{
    const QByteArrayView name = path.sliced(path.lastIndexOf('/') + 1).first(16);
    return name.toULongLong(nullptr, 16);
}

// A decompression context per thread, made once: making one for every entry costs about as
// much as decompressing a small entry.
ZSTD_DCtx *decompressionContext()
{
    struct Context
    {
        ZSTD_DCtx *context = ZSTD_createDCtx();
        ~Context() { ZSTD_freeDCtx(context); }
    };
    thread_local Context context;
    return context.context;
}

struct EntryFile
{
    QByteArray path;
    qint64 size;
    qint64 usedNs;
};

} // namespace

namespace {

FileKey keyOf(const struct stat &info)
{
    FileKey key;
    key.device = quint64(info.st_dev);
    key.inode = quint64(info.st_ino);
    key.size = qint64(info.st_size);
    key.modifiedNs = nanoseconds(info.st_mtim);
    key.changedNs = nanoseconds(info.st_ctim);
    return key;
}

} // namespace

std::optional<FileKey> FileKey::of(const QString &path)
{
    struct stat info;
    if (::stat(platform::nativePath(path).constData(), &info) != 0)
        return std::nullopt;
    return keyOf(info);
}

std::optional<FileKey> FileKey::ofOpen(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return keyOf(info);
}

TextCache::TextCache(QString folder, qint64 limitBytes)
    : m_folder(std::move(folder)), m_nativeFolder(platform::nativePath(m_folder)),
      m_limit(limitBytes)
{}

TextCache::~TextCache()
{
    m_summaries.clear();
    if (!m_summaryMap.isEmpty())
        ::munmap(const_cast<char *>(m_summaryMap.data()), size_t(m_summaryMap.size()));
}

QString TextCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/quarlex");
}

bool TextCache::usable()
{
    return folderUsable();
}

// makeFolder() once, then a load of its answer: every find asks.
bool TextCache::folderUsable()
{
    int state = m_folderState.load(std::memory_order_acquire);
    if (state == 0) {
        std::lock_guard lock(m_mutex);
        state = m_folderState.load(std::memory_order_relaxed);
        if (state == 0) {
            state = makeFolder() ? 1 : 2;
            m_folderState.store(state, std::memory_order_release);
        }
    }
    return state == 1;
}

void TextCache::keyBytes(QByteArray &out, const FileKey &key, QByteArrayView version,
                         QStringView member) const
{
    out.resize(0);
    appendNumber(out, key.device, 8);
    appendNumber(out, key.inode, 8);
    appendNumber(out, quint64(key.size), 8);
    appendNumber(out, quint64(key.modifiedNs), 8);
    appendNumber(out, quint64(key.changedNs), 8);
    appendNumber(out, quint64(version.size()), 4);
    out.append(version);
    if (!member.isEmpty())
        out.append(member.toUtf8());
}

void TextCache::entryPath(QByteArray &out, QByteArrayView key) const
{
    thread_local QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.reset();
    hash.addData(key);
    const QByteArrayView digest = hash.resultView();
    static constexpr char kHex[] = "0123456789abcdef";
    out.resize(0);
    out.append(m_nativeFolder);
    out.append('/');
    for (qsizetype i = 0; i < 20; ++i) {
        out.append(kHex[quint8(digest[i]) >> 4]);
        out.append(kHex[quint8(digest[i]) & 15]);
    }
    out.append(kEntrySuffix);
}

// Makes the folder (and its parents) with mode 0700; false when that is not possible.
bool TextCache::makeFolder() const
{
    const QByteArray &native = m_nativeFolder;
    struct stat info;
    if (::stat(native.constData(), &info) != 0) {
        const QString parent = QDir(m_folder).absolutePath().section(u'/', 0, -2);
        if (!parent.isEmpty() && !QDir().mkpath(parent))
            return false;
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    if (::stat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid())
        return false;
    // The folder holds the text of the user's documents: nobody else may read it.
    return (info.st_mode & 0777) == 0700 || ::chmod(native.constData(), 0700) == 0;
}

std::optional<CachedText> TextCache::find(const FileKey &key, QByteArrayView version,
                                          QStringView member)
{
    return lookup(key, version, member, nullptr);
}

std::optional<CachedText> TextCache::findFor(QStringView keyword, const FileKey &key,
                                             QByteArrayView version, QStringView member)
{
    return lookup(key, version, member, &keyword);
}

std::optional<CachedText> TextCache::findKept(QStringView keyword, const FileKey &key,
                                              QByteArrayView version, QStringView member)
{
    if (!m_holdsSummaries.load(std::memory_order_relaxed))
        return std::nullopt;
    thread_local QByteArray keyData;
    keyBytes(keyData, key, version, member);
    return keptAnswer(keyHash(keyData), keyData, keyword);
}

// The kept summary's answer for `keyword`: a result when it rules the keyword out.
std::optional<CachedText> TextCache::keptAnswer(quint64 hash, QByteArrayView key,
                                                QStringView keyword)
{
    std::shared_lock lock(m_kept);
    const auto kept = m_summaries.find(hash);
    if (kept == m_summaries.end() || !isSound(kept->second) || kept->second.key != key ||
        TextSummary::mayHold(kept->second.bitmap, keyword))
        return std::nullopt;
    noteUse(kept->second);
    CachedText cached;
    cached.outcome = kept->second.outcome;
    cached.keywordAbsent = true;
    return cached;
}

// The summary answered now: its use time moves, and with it the summaries file is due, when it
// is kMarkInterval old.
void TextCache::noteUse(KeptSummary &kept)
{
    const qint64 now = qint64(::time(nullptr));
    if (now - kept.usedAt.load(std::memory_order_relaxed) < kMarkInterval)
        return;
    kept.usedAt.store(now, std::memory_order_relaxed);
    m_summariesChanged.store(true, std::memory_order_relaxed);
}

std::optional<CachedText> TextCache::lookup(const FileKey &key, QByteArrayView version,
                                            QStringView member, const QStringView *keyword)
{
    if (!folderUsable())
        return std::nullopt;
    loadSummaries();
    // Reused from entry to entry: the key, the name and the head cost no allocation per entry.
    thread_local QByteArray keyData;
    thread_local QByteArray path;
    thread_local QByteArray head;
    keyBytes(keyData, key, version, member);
    const quint64 hash = keyHash(keyData);
    // A summary this cache read or wrote before answers without the entry's file: it was
    // checked then, and it belongs to the file's content, which the key names.
    if (keyword) {
        if (std::optional<CachedText> cached = keptAnswer(hash, keyData, *keyword))
            return cached;
    }
    entryPath(path, keyData);
    const quint64 id = entryId(path);
    CachedText cached;
    const int fd = openEntry(path);
    if (fd < 0)
        return std::nullopt;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    const auto reject = [&] {
        ::unlink(path.constData());
        forgetSummary(hash);
        return std::nullopt;
    };

    // The head in one read: as much as the last entry's head took (entries of one folder's
    // documents are alike), rounded up to whole pages.
    thread_local qsizetype firstRead = kFirstRead;
    head.resize(firstRead);
    qsizetype got = readAt(fd, head.data(), firstRead, 0);
    const qsizetype asked = firstRead;
    if (got < 0)
        return std::nullopt;
    const QByteArrayView start(head.constData(), got);
    if (got < kHeadFixed || start.first(8) != QByteArrayView(kMagic, 8))
        return reject();
    const qsizetype keySize = qsizetype(numberAt(start, 8, 4));
    if (keySize != keyData.size() || got < kHeadFixed + keySize ||
        start.sliced(12, keySize) != QByteArrayView(keyData))
        return reject();
    qsizetype at = 12 + keySize;
    cached.outcome = quint8(start[at]);
    const quint64 characters = numberAt(start, at + 1, 8);
    const int summaryLog2 = quint8(start[at + 9]);
    at += 10;
    if (characters > quint64(kMaxTextChars) || summaryLog2 < TextSummary::kMinBitsLog2 ||
        summaryLog2 > TextSummary::kMaxBitsLog2)
        return reject();
    const qsizetype summaryBytes = qsizetype(1) << (summaryLog2 - 3);
    const qsizetype headSize = at + summaryBytes + 8;
    firstRead = std::max<qsizetype>((headSize + 4095) / 4096 * 4096, 4096);
    if (headSize > got) {
        if (got < asked)
            return reject(); // the file ends inside its head
        head.resize(headSize);
        const qsizetype more = readAt(fd, head.data() + got, headSize - got, got);
        if (more < 0)
            return std::nullopt;
        if (more != headSize - got)
            return reject();
        got = headSize;
    }
    const QByteArrayView entryHead(head.constData(), headSize);
    if (numberAt(entryHead, headSize - 8, 8) != checksum(entryHead.first(headSize - 8)))
        return reject();
    const QByteArrayView summary = entryHead.sliced(at, summaryBytes);
    const bool kept = keepSummary(hash, id, keyData, summary, cached.outcome);
    if (keyword && !TextSummary::mayHold(summary, *keyword)) {
        // The kept summary's use time tells this use; without one the entry's own time does.
        if (!kept)
            markUsed(fd, id);
        cached.keywordAbsent = true;
        return cached;
    }

    // The text: the rest of the entry is its frame, part of which the first read may hold.
    struct stat info;
    // The largest entry a stored text can make.
    const qint64 largest = qint64(ZSTD_compressBound(size_t(kMaxTextChars) * 2)) + headSize;
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    if (info.st_size < headSize || info.st_size > largest)
        return reject();
    QByteArray frame(qsizetype(info.st_size) - headSize, Qt::Uninitialized);
    const qsizetype inHead = std::min(got - headSize, frame.size());
    std::memcpy(frame.data(), head.constData() + headSize, size_t(inHead));
    if (readAt(fd, frame.data() + inHead, frame.size() - inHead, headSize + inHead) !=
        frame.size() - inHead)
        return reject();
    // The frame's own content size and checksum vouch for the text: a cut or altered entry
    // fails here and is never searched.
    if (ZSTD_getFrameContentSize(frame.data(), size_t(frame.size())) != characters * 2)
        return reject();
    ZSTD_DCtx *const context = decompressionContext();
    if (!context)
        return std::nullopt;
    cached.text.resize(qsizetype(characters));
    const size_t size = ZSTD_decompressDCtx(context, cached.text.data(), size_t(characters * 2),
                                            frame.data(), size_t(frame.size()));
    if (ZSTD_isError(size) || size != characters * 2)
        return reject();
    markUsed(fd, id);
    return cached;
}

// Sets the entry's modification time, which eviction sorts by, unless this cache marked it (or
// wrote it) within the last kMarkInterval seconds: searching the same documents again and again
// costs no write per entry, and the order of use stays right to within that interval.
void TextCache::markUsed(int fd, quint64 id)
{
    bool due;
    {
        std::lock_guard lock(m_mutex);
        due = markDue(id);
    }
    if (due)
        ::futimens(fd, nullptr);
}

// True when the entry is to be marked used now (and notes it marked). Called with m_mutex held.
bool TextCache::markDue(quint64 id)
{
    const qint64 now = qint64(::time(nullptr));
    auto [place, added] = m_marked.try_emplace(id, now);
    if (added)
        return true;
    if (now - place->second < kMarkInterval)
        return false;
    place->second = now;
    return true;
}

// Keeps an entry's checked summary in memory, used now; the least recently used ones make room
// when kSummaryMemory is reached. False when it could not be kept (a summary larger than that).
bool TextCache::keepSummary(quint64 hash, quint64 id, QByteArrayView key, QByteArrayView bitmap,
                            quint8 outcome)
{
    const qint64 bytes = key.size() + bitmap.size();
    if (bytes > kSummaryMemory / 4)
        return false;
    std::unique_lock lock(m_kept);
    if (const auto known = m_summaries.find(hash);
        known != m_summaries.end() && known->second.key == key && known->second.bitmap == bitmap &&
        known->second.outcome == outcome) {
        noteUse(known->second);
        return true;
    }
    if (m_summaryBytes + bytes > kSummaryMemory)
        dropOldSummaries();
    // Another summary of the key, or of a key with the same hash: the newer takes its place.
    if (const auto other = m_summaries.find(hash); other != m_summaries.end()) {
        m_summaryBytes -= other->second.key.size() + other->second.bitmap.size();
        m_summaries.erase(other);
    }
    KeptSummary &kept = m_summaries[hash];
    kept.key = key.toByteArray();
    kept.bitmap = bitmap.toByteArray();
    kept.entryId = id;
    kept.outcome = outcome;
    kept.usedAt.store(qint64(::time(nullptr)), std::memory_order_relaxed);
    m_summaryBytes += bytes;
    m_summariesChanged.store(true, std::memory_order_relaxed);
    m_holdsSummaries.store(true, std::memory_order_relaxed);
    return true;
}

// Drops the least recently used summaries until three quarters of kSummaryMemory are left.
// Called with m_kept held exclusively.
void TextCache::dropOldSummaries()
{
    std::vector<std::pair<qint64, quint64>> byUse;
    byUse.reserve(m_summaries.size());
    for (const auto &[hash, kept] : m_summaries)
        byUse.emplace_back(kept.usedAt.load(std::memory_order_relaxed), hash);
    std::sort(byUse.begin(), byUse.end());
    for (const auto &[usedAt, hash] : byUse) {
        if (m_summaryBytes <= kSummaryMemory / 4 * 3)
            break;
        const auto kept = m_summaries.find(hash);
        m_summaryBytes -= kept->second.key.size() + kept->second.bitmap.size();
        m_summaries.erase(kept);
    }
}

void TextCache::forgetSummary(quint64 hash)
{
    std::unique_lock lock(m_kept);
    const auto kept = m_summaries.find(hash);
    if (kept == m_summaries.end())
        return;
    m_summaryBytes -= kept->second.key.size() + kept->second.bitmap.size();
    m_summaries.erase(kept);
    m_summariesChanged.store(true, std::memory_order_relaxed);
}

// Maps the summaries file once, at the first find. Only its index is read now (and checked): a
// summary's own bytes are read and checked at its first use, by the thread that needs it, so that
// a search that finds most documents ruled out in memory starts at once. A file cut short,
// altered or of another layout is ignored (and replaced at the next save); the file is never
// changed in place (a save writes a new one and renames it over), so the mapping stays whole.
void TextCache::loadSummaries()
{
    if (m_summariesLoaded.load(std::memory_order_acquire))
        return;
    std::unique_lock lock(m_kept);
    if (m_summariesLoaded.load(std::memory_order_relaxed))
        return;
    m_summariesLoaded.store(true, std::memory_order_release);
    const int fd = openEntry(QByteArray(m_nativeFolder + '/' + kSummariesName));
    if (fd < 0)
        return;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < kSummariesHead ||
        info.st_size > 2 * kSummaryMemory)
        return;
    void *const mapped = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED)
        return;
    m_summaryMap = QByteArrayView(static_cast<const char *>(mapped), qsizetype(info.st_size));
    const QByteArrayView file = m_summaryMap;
    const quint64 count = numberAt(file, 8, 8);
    if (file.first(8) != QByteArrayView(kSummariesMagic, 8) ||
        count > quint64((file.size() - kSummariesHead) / kIndexRecord))
        return;
    const qsizetype indexEnd = 16 + qsizetype(count) * kIndexRecord;
    if (numberAt(file, indexEnd, 8) != checksum(file.first(indexEnd)))
        return;
    for (qsizetype at = 16; at < indexEnd; at += kIndexRecord) {
        const quint64 offset = numberAt(file, at + 8, 8);
        const qsizetype keySize = qsizetype(numberAt(file, at + 32, 4));
        const int log2 = quint8(file[at + 37]);
        if (log2 < TextSummary::kMinBitsLog2 || log2 > TextSummary::kMaxBitsLog2)
            return;
        const qsizetype bitmapSize = qsizetype(1) << (log2 - 3);
        if (offset < quint64(indexEnd + 8) || offset > quint64(file.size()) ||
            keySize > kMaxKeySize || qsizetype(offset) + keySize + bitmapSize + 8 > file.size())
            return;
        if (m_summaryBytes + keySize + bitmapSize > kSummaryMemory)
            break;
        const quint64 hash = numberAt(file, at, 8);
        if (m_summaries.contains(hash))
            continue;
        KeptSummary &kept = m_summaries[hash];
        // The bytes stay in the mapping, which lives as long as the cache.
        kept.key = QByteArray::fromRawData(file.data() + offset, keySize);
        kept.bitmap = QByteArray::fromRawData(file.data() + offset + keySize, bitmapSize);
        kept.entryId = numberAt(file, at + 16, 8);
        kept.usedAt.store(qint64(numberAt(file, at + 24, 8)), std::memory_order_relaxed);
        kept.outcome = quint8(file[at + 36]);
        kept.state.store(KeptSummary::Unchecked, std::memory_order_relaxed);
        m_summaryBytes += keySize + bitmapSize;
    }
    m_holdsSummaries.store(!m_summaries.empty(), std::memory_order_relaxed);
}

// True when the summary's bytes are sound: one read from the summaries file is checked against
// its checksum at its first use (two threads doing so at once find the same).
bool TextCache::isSound(const KeptSummary &kept)
{
    const int state = kept.state.load(std::memory_order_acquire);
    if (state != KeptSummary::Unchecked)
        return state == KeptSummary::Sound;
    // The record: the key, the bitmap right after it, their checksum.
    const QByteArrayView record(kept.key.constData(), kept.key.size() + kept.bitmap.size());
    const bool sound = numberAt(QByteArrayView(record.data(), record.size() + 8), record.size(),
                                8) == checksum(record);
    kept.state.store(sound ? KeptSummary::Sound : KeptSummary::Damaged, std::memory_order_release);
    return sound;
}

void TextCache::saveSummaries()
{
    if (!folderUsable() || !m_summariesChanged.load(std::memory_order_relaxed))
        return;
    std::lock_guard saving(m_saving);
    if (!m_summariesChanged.exchange(false))
        return;
    QByteArray file;
    {
        std::shared_lock lock(m_kept);
        std::vector<std::pair<quint64, const KeptSummary *>> sound;
        sound.reserve(m_summaries.size());
        qsizetype bytes = 0;
        for (const auto &[hash, kept] : m_summaries) {
            if (isSound(kept)) {
                sound.emplace_back(hash, &kept);
                bytes += kept.key.size() + kept.bitmap.size() + 8;
            }
        }
        const qsizetype indexEnd = 16 + qsizetype(sound.size()) * kIndexRecord;
        file.reserve(indexEnd + 8 + bytes);
        file.append(kSummariesMagic, 8);
        appendNumber(file, quint64(sound.size()), 8);
        quint64 offset = quint64(indexEnd + 8);
        for (const auto &[hash, kept] : sound) {
            appendNumber(file, hash, 8);
            appendNumber(file, offset, 8);
            appendNumber(file, kept->entryId, 8);
            appendNumber(file, quint64(kept->usedAt.load(std::memory_order_relaxed)), 8);
            appendNumber(file, quint64(kept->key.size()), 4);
            file.append(char(kept->outcome));
            file.append(char(std::countr_zero(quint64(kept->bitmap.size())) + 3));
            appendNumber(file, 0, 2);
            offset += quint64(kept->key.size() + kept->bitmap.size() + 8);
        }
        appendNumber(file, checksum(file), 8);
        for (const auto &[hash, kept] : sound) {
            const qsizetype recordAt = file.size();
            file.append(kept->key);
            file.append(kept->bitmap);
            appendNumber(file, checksum(QByteArrayView(file).sliced(recordAt)), 8);
        }
    }
    QByteArray temp = m_nativeFolder + '/' + kTempPrefix + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        m_summariesChanged.store(true);
        return;
    }
    const bool written = platform::writeAll(fd, file.constData(), file.size());
    if (::close(fd) != 0 || !written ||
        ::rename(temp.constData(), QByteArray(m_nativeFolder + '/' + kSummariesName).constData()) !=
            0) {
        ::unlink(temp.constData());
        m_summariesChanged.store(true);
    }
}

bool TextCache::contains(const FileKey &key, QByteArrayView version, QStringView member)
{
    if (!folderUsable())
        return false;
    thread_local QByteArray keyData;
    thread_local QByteArray path;
    keyBytes(keyData, key, version, member);
    entryPath(path, keyData);
    return ::access(path.constData(), F_OK) == 0;
}

bool TextCache::store(const FileKey &key, QByteArrayView version, QStringView member,
                      quint8 outcome, QStringView text)
{
    if (text.size() > kMaxTextChars)
        return false;
    if (!folderUsable())
        return false;
    loadSummaries();
    QByteArray keyData;
    keyBytes(keyData, key, version, member);
    const QByteArray summary = TextSummary::of(text);
    QByteArray entry;
    const size_t bound = ZSTD_compressBound(size_t(text.size()) * 2);
    entry.reserve(kHeadFixed + keyData.size() + summary.size() + qsizetype(bound));
    entry.append(kMagic, 8);
    appendNumber(entry, quint64(keyData.size()), 4);
    entry.append(keyData);
    entry.append(char(outcome));
    appendNumber(entry, quint64(text.size()), 8);
    entry.append(char(std::countr_zero(quint64(summary.size())) + 3));
    entry.append(summary);
    appendNumber(entry, checksum(entry), 8);
    const qsizetype frameAt = entry.size();
    entry.resize(frameAt + qsizetype(bound));
    const std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx *)> context(ZSTD_createCCtx(),
                                                                      ZSTD_freeCCtx);
    if (!context)
        return false;
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, kCompressionLevel);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_contentSizeFlag, 1);
    const size_t packed = ZSTD_compress2(context.get(), entry.data() + frameAt, bound, text.data(),
                                         size_t(text.size()) * 2);
    if (ZSTD_isError(packed))
        return false;
    entry.resize(frameAt + qsizetype(packed));

    QByteArray temp = m_nativeFolder + '/' + kTempPrefix + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // A full disk or a read-only folder: the entry is not kept; nothing else changes.
        return false;
    }
    const bool written = platform::writeAll(fd, entry.constData(), entry.size());
    const bool closed = ::close(fd) == 0;
    QByteArray path;
    entryPath(path, keyData);
    if (!written || !closed || ::rename(temp.constData(), path.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    const quint64 id = entryId(path);
    keepSummary(keyHash(keyData), id, keyData, summary, outcome);
    std::lock_guard lock(m_mutex);
    // Written now: as good as marked used.
    m_marked.insert_or_assign(id, qint64(::time(nullptr)));
    if (m_total < 0)
        countEntries();
    else
        m_total += entry.size();
    if (m_total > m_limit)
        evict();
    return true;
}

qint64 TextCache::totalBytes()
{
    if (!folderUsable())
        return 0;
    std::lock_guard lock(m_mutex);
    countEntries();
    return m_total;
}

// Adds up the entries' sizes, and removes temporary files that a stopped program left behind.
// Called with the mutex held.
void TextCache::countEntries()
{
    m_total = 0;
    const QByteArray folder = platform::nativePath(m_folder);
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const qint64 hourAgo = qint64(::time(nullptr) - 3600) * 1000000000;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArrayView name(item->d_name);
        const bool isEntry = name.endsWith(kEntrySuffix);
        const bool isTemp = name.startsWith(kTempPrefix);
        if (!isEntry && !isTemp)
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat info;
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (isTemp) {
            if (nanoseconds(info.st_mtim) < hourAgo)
                ::unlink(path.constData());
            continue;
        }
        m_total += info.st_size;
    }
    ::closedir(dir);
}

// Removes the least recently used entries until the cache is at 90 % of its limit. Called with
// the mutex held.
void TextCache::evict()
{
    const QByteArray folder = platform::nativePath(m_folder);
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    // An entry's use is the later of its modification time and its summary's use time.
    std::unordered_map<quint64, qint64> summaryUse;
    {
        std::shared_lock lock(m_kept);
        for (const auto &[hash, kept] : m_summaries)
            summaryUse[kept.entryId] = kept.usedAt.load(std::memory_order_relaxed) * 1000000000;
    }
    std::vector<EntryFile> entries;
    qint64 total = 0;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArrayView name(item->d_name);
        if (!name.endsWith(kEntrySuffix))
            continue;
        EntryFile entry{folder + '/' + name, 0, 0};
        struct stat info;
        if (::lstat(entry.path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        entry.size = info.st_size;
        entry.usedNs = nanoseconds(info.st_mtim);
        if (const auto used = summaryUse.find(entryId(entry.path)); used != summaryUse.end())
            entry.usedNs = std::max(entry.usedNs, used->second);
        total += entry.size;
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const EntryFile &a, const EntryFile &b) { return a.usedNs < b.usedNs; });
    const qint64 target = m_limit / 10 * 9;
    for (const EntryFile &entry : entries) {
        if (total <= target)
            break;
        if (::unlink(entry.path.constData()) == 0)
            total -= entry.size;
    }
    m_total = total;
}

TextCache &userCache()
{
    // Never destroyed: workers that outlive a run may still be storing when the program ends.
    static TextCache *cache = new TextCache(TextCache::defaultFolder());
    return *cache;
}

} // namespace textcache
