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

std::optional<FileKey> FileKey::of(const QString &path)
{
    struct stat info;
    if (::stat(platform::nativePath(path).constData(), &info) != 0)
        return std::nullopt;
    FileKey key;
    key.device = quint64(info.st_dev);
    key.inode = quint64(info.st_ino);
    key.size = qint64(info.st_size);
    key.modifiedNs = nanoseconds(info.st_mtim);
    key.changedNs = nanoseconds(info.st_ctim);
    return key;
}

TextCache::TextCache(QString folder, qint64 limitBytes)
    : m_folder(std::move(folder)), m_nativeFolder(platform::nativePath(m_folder)),
      m_limit(limitBytes)
{}

QString TextCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/quarlex");
}

bool TextCache::usable()
{
    std::lock_guard lock(m_mutex);
    return ensureFolder();
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

// Makes the folder (and its parents) with mode 0700; false when that is not possible. Called
// with the mutex held.
bool TextCache::ensureFolder()
{
    if (m_folderChecked)
        return m_usable;
    m_folderChecked = true;
    const QByteArray native = platform::nativePath(m_folder);
    struct stat info;
    if (::stat(native.constData(), &info) != 0) {
        const QString parent = QDir(m_folder).absolutePath().section(u'/', 0, -2);
        if (!parent.isEmpty() && !QDir().mkpath(parent))
            m_usable = false;
        else if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            m_usable = false;
    }
    if (m_usable && (::stat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
                     info.st_uid != ::getuid()))
        m_usable = false;
    // The folder holds the text of the user's documents: nobody else may read it.
    if (m_usable && (info.st_mode & 0777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        m_usable = false;
    return m_usable;
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

std::optional<CachedText> TextCache::lookup(const FileKey &key, QByteArrayView version,
                                            QStringView member, const QStringView *keyword)
{
    {
        std::lock_guard lock(m_mutex);
        if (!ensureFolder())
            return std::nullopt;
    }
    // Reused from entry to entry: the key, the name and the head cost no allocation per entry.
    thread_local QByteArray keyData;
    thread_local QByteArray path;
    thread_local QByteArray head;
    keyBytes(keyData, key, version, member);
    entryPath(path, keyData);
    const quint64 id = entryId(path);
    CachedText cached;
    if (keyword) {
        // A summary this cache read or wrote before answers without the entry's file: it was
        // checked then, and it belongs to the file's content, which the key names.
        std::lock_guard lock(m_mutex);
        const auto kept = m_summaries.find(id);
        if (kept != m_summaries.end() && kept->second.key == keyData &&
            !TextSummary::mayHold(kept->second.bitmap, *keyword)) {
            cached.outcome = kept->second.outcome;
            cached.keywordAbsent = true;
            if (markDue(id))
                ::utimensat(AT_FDCWD, path.constData(), nullptr, 0);
            return cached;
        }
    }
    const int fd = openEntry(path);
    if (fd < 0)
        return std::nullopt;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    const auto reject = [&] {
        ::unlink(path.constData());
        std::lock_guard lock(m_mutex);
        forgetSummary(id);
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
    {
        std::lock_guard lock(m_mutex);
        keepSummary(id, keyData, summary, cached.outcome);
    }
    if (keyword && !TextSummary::mayHold(summary, *keyword)) {
        markUsed(fd, path);
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
    markUsed(fd, path);
    return cached;
}

// Sets the entry's modification time, which eviction sorts by, unless this cache marked it (or
// wrote it) within the last kMarkInterval seconds: searching the same documents again and again
// costs no write per entry, and the order of use stays right to within that interval.
void TextCache::markUsed(int fd, const QByteArray &path)
{
    bool due;
    {
        std::lock_guard lock(m_mutex);
        due = markDue(entryId(path));
    }
    if (due)
        ::futimens(fd, nullptr);
}

// True when the entry is to be marked used now (and notes it marked). Called with the mutex held.
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

// Keeps an entry's checked summary in memory, as long as they fit in kSummaryMemory. Called with
// the mutex held.
void TextCache::keepSummary(quint64 id, QByteArrayView key, QByteArrayView bitmap, quint8 outcome)
{
    if (m_summaries.contains(id) || m_summaryBytes + key.size() + bitmap.size() > kSummaryMemory)
        return;
    m_summaries.emplace(id, KeptSummary{key.toByteArray(), bitmap.toByteArray(), outcome});
    m_summaryBytes += key.size() + bitmap.size();
}

// Called with the mutex held.
void TextCache::forgetSummary(quint64 id)
{
    const auto kept = m_summaries.find(id);
    if (kept == m_summaries.end())
        return;
    m_summaryBytes -= kept->second.key.size() + kept->second.bitmap.size();
    m_summaries.erase(kept);
}

bool TextCache::contains(const FileKey &key, QByteArrayView version, QStringView member)
{
    {
        std::lock_guard lock(m_mutex);
        if (!ensureFolder())
            return false;
    }
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
    {
        std::lock_guard lock(m_mutex);
        if (!ensureFolder())
            return false;
    }
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
    std::lock_guard lock(m_mutex);
    // Written now: as good as marked used.
    const quint64 id = entryId(path);
    m_marked.insert_or_assign(id, qint64(::time(nullptr)));
    forgetSummary(id);
    keepSummary(id, keyData, summary, outcome);
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
    std::lock_guard lock(m_mutex);
    if (!ensureFolder())
        return 0;
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
