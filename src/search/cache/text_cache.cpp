#include "search/cache/text_cache.h"

#include "platform/core/paths.h"
#include "platform/core/write_all.h"

#include <QCryptographicHash>
#include <QDir>
#include <QScopeGuard>
#include <QStandardPaths>

#include <zstd.h>

#include <algorithm>
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

constexpr char kMagic[8] = {'Q', 'X', 'T', 'C', 'A', 'C', 'H', '1'};
constexpr char kEntrySuffix[] = ".qtc";
constexpr char kTempPrefix[] = "tmp-";
constexpr qsizetype kHeaderFixed = 8 + 4 + 1 + 8; // magic, key size, outcome, text characters
constexpr int kCompressionLevel = 3;

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

// The whole of a small file; nothing when it cannot be read or is larger than `limit`. The file
// stays open in `fd` for the caller to close (-1 when it could not be opened).
std::optional<QByteArray> readFile(const QByteArray &path, qint64 limit, int &fd)
{
    fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit)
        return std::nullopt;
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    if (got != bytes.size())
        return std::nullopt;
    return bytes;
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
    : m_folder(std::move(folder)), m_limit(limitBytes)
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

QByteArray TextCache::keyBytes(const FileKey &key, QByteArrayView version, QStringView member) const
{
    QByteArray out;
    appendNumber(out, key.device, 8);
    appendNumber(out, key.inode, 8);
    appendNumber(out, quint64(key.size), 8);
    appendNumber(out, quint64(key.modifiedNs), 8);
    appendNumber(out, quint64(key.changedNs), 8);
    appendNumber(out, quint64(version.size()), 4);
    out.append(version);
    out.append(member.toUtf8());
    return out;
}

QString TextCache::entryPath(const QByteArray &key) const
{
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    return m_folder + u'/' + QString::fromLatin1(hash.first(40)) + QLatin1StringView(kEntrySuffix);
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
    {
        std::lock_guard lock(m_mutex);
        if (!ensureFolder())
            return std::nullopt;
    }
    const QByteArray keyData = keyBytes(key, version, member);
    const QByteArray path = platform::nativePath(entryPath(keyData));
    // The largest entry a stored text can make, with room for the header.
    const qint64 largest =
        qint64(ZSTD_compressBound(size_t(kMaxTextChars) * 2)) + keyData.size() + kHeaderFixed;
    int fd = -1;
    const std::optional<QByteArray> bytes = readFile(path, largest, fd);
    const auto closeFile = qScopeGuard([fd] {
        if (fd >= 0)
            ::close(fd);
    });
    if (!bytes)
        return std::nullopt;
    const auto reject = [&] {
        ::unlink(path.constData());
        return std::nullopt;
    };
    const QByteArrayView entry(*bytes);
    if (entry.size() < kHeaderFixed || entry.first(8) != QByteArrayView(kMagic, 8))
        return reject();
    const qsizetype keySize = qsizetype(numberAt(entry, 8, 4));
    if (keySize != keyData.size() || entry.size() < kHeaderFixed + keySize ||
        entry.sliced(12, keySize) != QByteArrayView(keyData))
        return reject();
    qsizetype at = 12 + keySize;
    CachedText cached;
    cached.outcome = quint8(entry[at]);
    const quint64 characters = numberAt(entry, at + 1, 8);
    at += 9;
    if (characters > quint64(kMaxTextChars))
        return reject();
    const QByteArrayView frame = entry.sliced(at);
    // The frame's own content size and checksum vouch for the text: a cut or altered entry
    // fails here and is never searched.
    if (ZSTD_getFrameContentSize(frame.data(), size_t(frame.size())) != characters * 2)
        return reject();
    ZSTD_DCtx *const context = decompressionContext();
    if (!context)
        return std::nullopt;
    cached.text.resize(qsizetype(characters));
    const size_t got = ZSTD_decompressDCtx(context, cached.text.data(), size_t(characters * 2),
                                           frame.data(), size_t(frame.size()));
    if (ZSTD_isError(got) || got != characters * 2)
        return reject();
    // Used now: the least recently used entries are the first to go. Through the open file,
    // without looking its name up again.
    ::futimens(fd, nullptr);
    return cached;
}

bool TextCache::contains(const FileKey &key, QByteArrayView version, QStringView member)
{
    {
        std::lock_guard lock(m_mutex);
        if (!ensureFolder())
            return false;
    }
    const QByteArray path = platform::nativePath(entryPath(keyBytes(key, version, member)));
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
    const QByteArray keyData = keyBytes(key, version, member);
    QByteArray entry;
    const size_t bound = ZSTD_compressBound(size_t(text.size()) * 2);
    entry.reserve(kHeaderFixed + keyData.size() + qsizetype(bound));
    entry.append(kMagic, 8);
    appendNumber(entry, quint64(keyData.size()), 4);
    entry.append(keyData);
    entry.append(char(outcome));
    appendNumber(entry, quint64(text.size()), 8);
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

    const QByteArray folder = platform::nativePath(m_folder);
    QByteArray temp = folder + '/' + kTempPrefix + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // A full disk or a read-only folder: the entry is not kept; nothing else changes.
        return false;
    }
    const bool written = platform::writeAll(fd, entry.constData(), entry.size());
    const bool closed = ::close(fd) == 0;
    const QByteArray path = platform::nativePath(entryPath(keyData));
    if (!written || !closed || ::rename(temp.constData(), path.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    std::lock_guard lock(m_mutex);
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
