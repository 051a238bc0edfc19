#include "search/cache/text_cache.h"

#include "search/cache/cache_bytes.h"
#include "search/match/text_summary.h"

#include "platform/core/file_ops.h"
#include "platform/core/paths.h"

#include <QStandardPaths>

namespace textcache {

using search::TextSummary;

namespace {

constexpr char kSummariesName[] = "summaries.qts";

FileKey keyOf(const platform::FileStatus &status)
{
    return FileKey{status.device,     status.inode,     status.size,
                   status.modifiedNs, status.changedNs, 0};
}

// The key of the open file `fd` with the hash of its content; the status is taken again after
// the read, so that a write while it was read gives a key no later look-up makes again.
std::optional<FileKey> hashedKey(int fd)
{
    const std::optional<quint64> hash = bytes::fileChecksum(fd);
    const std::optional<platform::FileStatus> status = platform::openFileStatus(fd);
    if (!hash || !status)
        return std::nullopt;
    FileKey key = keyOf(*status);
    key.contentHash = *hash;
    return key;
}

} // namespace

std::optional<FileKey> FileKey::of(const QString &path)
{
    const QByteArray native = platform::nativePath(path);
    if (!platform::timesTellChanges(native)) {
        const platform::ReadOnlyFile file(native);
        return file.isOpen() ? hashedKey(file.descriptor()) : std::nullopt;
    }
    const std::optional<platform::FileStatus> status = platform::fileStatus(native);
    if (!status)
        return std::nullopt;
    return keyOf(*status);
}

std::optional<FileKey> FileKey::ofOpen(int fd)
{
    if (!platform::timesTellChanges(fd))
        return hashedKey(fd);
    return ofOpenWithoutReading(fd);
}

std::optional<FileKey> FileKey::ofOpenWithoutReading(int fd)
{
    if (!platform::timesTellChanges(fd))
        return std::nullopt;
    const std::optional<platform::FileStatus> status = platform::openFileStatus(fd);
    if (!status)
        return std::nullopt;
    return keyOf(*status);
}

TextCache::TextCache(QString folder, qint64 limitBytes)
    : m_store(std::move(folder), limitBytes), m_summaries(m_store.filePath(kSummariesName))
{}

TextCache::~TextCache() = default;

QString TextCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/quarlex");
}

bool TextCache::usable()
{
    return m_store.usable();
}

void TextCache::keyBytes(QByteArray &out, const FileKey &key, QByteArrayView version,
                         QStringView member)
{
    out.resize(0);
    bytes::appendNumber(out, key.device, 8);
    bytes::appendNumber(out, key.inode, 8);
    bytes::appendNumber(out, quint64(key.size), 8);
    bytes::appendNumber(out, quint64(key.modifiedNs), 8);
    bytes::appendNumber(out, quint64(key.changedNs), 8);
    bytes::appendNumber(out, key.contentHash, 8);
    bytes::appendNumber(out, quint64(version.size()), 4);
    out.append(version);
    if (!member.isEmpty())
        out.append(member.toUtf8());
}

std::optional<CachedText> TextCache::find(const FileKey &key, QByteArrayView version,
                                          QStringView member)
{
    return lookup(key, version, member, nullptr);
}

std::optional<CachedText> TextCache::findFor(const search::TextSummary::Probe &keyword,
                                             const FileKey &key, QByteArrayView version,
                                             QStringView member)
{
    return lookup(key, version, member, &keyword);
}

std::optional<CachedText> TextCache::findKept(const search::TextSummary::Probe &keyword,
                                              const FileKey &key, QByteArrayView version,
                                              QStringView member)
{
    if (!m_summaries.holdsAny())
        return std::nullopt;
    thread_local QByteArray keyData;
    keyBytes(keyData, key, version, member);
    return keptAnswer(SummaryIndex::hashOf(keyData), keyData, keyword);
}

// The kept summary's answer for `keyword`: a result when it rules the keyword out.
std::optional<CachedText> TextCache::keptAnswer(quint64 hash, QByteArrayView key,
                                                const search::TextSummary::Probe &keyword)
{
    const std::optional<quint8> outcome = m_summaries.ruledOut(hash, key, keyword);
    if (!outcome)
        return std::nullopt;
    CachedText cached;
    cached.outcome = *outcome;
    cached.keywordAbsent = true;
    return cached;
}

std::optional<CachedText> TextCache::lookup(const FileKey &key, QByteArrayView version,
                                            QStringView member,
                                            const search::TextSummary::Probe *keyword)
{
    if (!m_store.usable())
        return std::nullopt;
    m_summaries.load();
    // Reused from entry to entry: the key costs no allocation per entry.
    thread_local QByteArray keyData;
    keyBytes(keyData, key, version, member);
    const quint64 hash = SummaryIndex::hashOf(keyData);
    // A summary this cache read or wrote before answers without the entry's file: it was
    // checked then, and it belongs to the file's content, which the key names.
    if (keyword) {
        if (std::optional<CachedText> cached = keptAnswer(hash, keyData, *keyword))
            return cached;
    }
    return readEntry(hash, keyData, keyword);
}

// The entry's head, and its text unless the head's summary rules `keyword` out. A damaged entry
// is removed (with its summary) and not served.
std::optional<CachedText> TextCache::readEntry(quint64 hash, QByteArrayView key,
                                               const search::TextSummary::Probe *keyword)
{
    // Reused from entry to entry: the name and the head cost no allocation per entry.
    thread_local QByteArray path;
    thread_local QByteArray buffer;
    m_store.entryPath(path, key);
    EntryFile entry(path, buffer);
    if (!entry.isOpen())
        return std::nullopt;
    const EntryFile::Verdict head = entry.readHead(key);
    if (head != EntryFile::Verdict::Sound)
        return head == EntryFile::Verdict::Damaged ? reject(path, hash) : std::nullopt;
    const quint64 id = EntryStore::entryId(path);
    CachedText cached;
    cached.outcome = entry.head().outcome;
    const QByteArrayView summary = entry.head().summary;
    const bool kept = m_summaries.keep(hash, id, key, summary, cached.outcome);
    if (keyword && !TextSummary::mayHold(summary, *keyword)) {
        // The kept summary's use time tells this use; without one the entry's own time does.
        if (!kept)
            markUsed(entry, id);
        cached.keywordAbsent = true;
        return cached;
    }
    const EntryFile::Verdict text = entry.readText(cached.text);
    if (text != EntryFile::Verdict::Sound)
        return text == EntryFile::Verdict::Damaged ? reject(path, hash) : std::nullopt;
    markUsed(entry, id);
    return cached;
}

// A damaged entry goes, and its summary with it: the next extraction writes it anew.
std::nullopt_t TextCache::reject(const QByteArray &path, quint64 hash)
{
    m_store.remove(path);
    m_summaries.forget(hash);
    return std::nullopt;
}

// Sets the entry's modification time, which eviction sorts by, unless this cache marked it (or
// wrote it) within the last EntryStore::kMarkInterval seconds.
void TextCache::markUsed(const EntryFile &entry, quint64 id)
{
    if (m_store.markDue(id))
        entry.markUsed();
}

void TextCache::saveSummaries()
{
    if (!m_store.usable())
        return;
    const QByteArray path = m_store.filePath(kSummariesName);
    m_summaries.save([&](QByteArrayView file) { return m_store.write(path, file); });
}

bool TextCache::contains(const FileKey &key, QByteArrayView version, QStringView member)
{
    if (!m_store.usable())
        return false;
    thread_local QByteArray keyData;
    thread_local QByteArray path;
    keyBytes(keyData, key, version, member);
    m_store.entryPath(path, keyData);
    return m_store.contains(path);
}

bool TextCache::store(const FileKey &key, QByteArrayView version, QStringView member,
                      quint8 outcome, QStringView text)
{
    if (text.size() > kMaxTextChars)
        return false;
    if (!m_store.usable())
        return false;
    m_summaries.load();
    QByteArray keyData;
    keyBytes(keyData, key, version, member);
    const QByteArray summary = TextSummary::of(text);
    const QByteArray entry = EntryFile::encode(keyData, outcome, text, summary);
    if (entry.isEmpty())
        return false;
    QByteArray path;
    m_store.entryPath(path, keyData);
    // A full disk or a read-only folder: the entry is not kept; nothing else changes.
    if (!m_store.write(path, entry))
        return false;
    const quint64 id = EntryStore::entryId(path);
    m_summaries.keep(SummaryIndex::hashOf(keyData), id, keyData, summary, outcome);
    m_store.added(id, entry.size(), [this] { return m_summaries.useTimes(); });
    return true;
}

qint64 TextCache::totalBytes()
{
    if (!m_store.usable())
        return 0;
    return m_store.totalBytes();
}

TextCache &userCache()
{
    // Never destroyed: workers that outlive a run may still be storing when the program ends.
    static TextCache *cache = new TextCache(TextCache::defaultFolder());
    return *cache;
}

} // namespace textcache
