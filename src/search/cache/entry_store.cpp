#include "search/cache/entry_store.h"

#include "platform/core/file_ops.h"
#include "platform/core/folder_entries.h"
#include "platform/core/paths.h"

#include <QCryptographicHash>

#include <algorithm>
#include <ctime>
#include <vector>

namespace textcache {

namespace {

constexpr char kEntrySuffix[] = ".qtc";
constexpr char kTempPrefix[] = "tmp-";

struct StoredEntry
{
    QByteArray path;
    qint64 size;
    qint64 usedNs;
};

qint64 now()
{
    return qint64(std::time(nullptr));
}

// Calls `take(name, path, status)` for each regular file (not a link) of `folder`, known to the
// system as `native`, whose name `wanted` accepts.
template <typename Wanted, typename Take>
void forEachFile(const QString &folder, const QByteArray &native, Wanted wanted, Take take)
{
    const int fd = platform::openFolder(folder);
    if (fd < 0)
        return;
    platform::forEachEntry(fd, [&](const char *name, platform::FolderEntry::Kind, bool) {
        if (!wanted(QByteArrayView(name)))
            return;
        const QByteArray path = native + '/' + name;
        const std::optional<platform::FileStatus> status = platform::linkStatus(path);
        if (status && status->regular)
            take(QByteArrayView(name), path, *status);
    });
}

} // namespace

EntryStore::EntryStore(QString folder, qint64 limitBytes)
    : m_folder(std::move(folder)), m_nativeFolder(platform::nativePath(m_folder)),
      m_limit(limitBytes)
{}

// The folder made once, then a load of its answer: every find asks.
bool EntryStore::usable()
{
    int state = m_folderState.load(std::memory_order_acquire);
    if (state == 0) {
        std::lock_guard lock(m_mutex);
        state = m_folderState.load(std::memory_order_relaxed);
        if (state == 0) {
            state = platform::makePrivateFolder(m_folder) ? 1 : 2;
            m_folderState.store(state, std::memory_order_release);
        }
    }
    return state == 1;
}

void EntryStore::entryPath(QByteArray &out, QByteArrayView key) const
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

QByteArray EntryStore::filePath(QByteArrayView name) const
{
    QByteArray path = m_nativeFolder;
    path.append('/');
    path.append(name);
    return path;
}

quint64 EntryStore::entryId(QByteArrayView path)
{
    const QByteArrayView name = path.sliced(path.lastIndexOf('/') + 1).first(16);
    return name.toULongLong(nullptr, 16);
}

bool EntryStore::contains(const QByteArray &path) const
{
    return platform::fileExists(path);
}

void EntryStore::remove(const QByteArray &path) const
{
    platform::removeFile(path);
}

bool EntryStore::write(const QByteArray &path, QByteArrayView bytes) const
{
    return platform::replaceFile(m_nativeFolder + '/' + kTempPrefix + "XXXXXX", path, bytes);
}

bool EntryStore::markDue(quint64 id)
{
    const qint64 time = now();
    std::lock_guard lock(m_mutex);
    auto [place, added] = m_marked.try_emplace(id, time);
    if (added)
        return true;
    if (time - place->second < kMarkInterval)
        return false;
    place->second = time;
    return true;
}

void EntryStore::added(quint64 id, qint64 bytes, const std::function<UseTimes()> &useTimes)
{
    std::lock_guard lock(m_mutex);
    // Written now: as good as marked used.
    m_marked.insert_or_assign(id, now());
    if (m_total < 0)
        countEntries();
    else
        m_total += bytes;
    if (m_total > m_limit)
        evict(useTimes());
}

qint64 EntryStore::totalBytes()
{
    std::lock_guard lock(m_mutex);
    countEntries();
    return m_total;
}

// Adds up the entries' sizes, and removes temporary files that a stopped program left behind.
// Called with the mutex held.
void EntryStore::countEntries()
{
    m_total = 0;
    const qint64 hourAgo = (now() - 3600) * 1000000000;
    const auto wanted = [](QByteArrayView name) {
        return name.endsWith(kEntrySuffix) || name.startsWith(kTempPrefix);
    };
    forEachFile(
        m_folder, m_nativeFolder, wanted,
        [&](QByteArrayView name, const QByteArray &path, const platform::FileStatus &status) {
            if (name.startsWith(kTempPrefix)) {
                if (status.modifiedNs < hourAgo)
                    platform::removeFile(path);
                return;
            }
            m_total += status.size;
        });
}

// Removes the least recently used entries until the entries take 90 % of the limit. Called with
// the mutex held.
void EntryStore::evict(const UseTimes &useTimes)
{
    std::vector<StoredEntry> entries;
    qint64 total = 0;
    const auto wanted = [](QByteArrayView name) { return name.endsWith(kEntrySuffix); };
    forEachFile(m_folder, m_nativeFolder, wanted,
                [&](QByteArrayView, const QByteArray &path, const platform::FileStatus &status) {
                    StoredEntry entry{path, status.size, status.modifiedNs};
                    if (const auto used = useTimes.find(entryId(path)); used != useTimes.end())
                        entry.usedNs = std::max(entry.usedNs, used->second);
                    total += entry.size;
                    entries.push_back(std::move(entry));
                });
    std::sort(entries.begin(), entries.end(),
              [](const StoredEntry &a, const StoredEntry &b) { return a.usedNs < b.usedNs; });
    const qint64 target = m_limit / 10 * 9;
    for (const StoredEntry &entry : entries) {
        if (total <= target)
            break;
        if (platform::removeFile(entry.path))
            total -= entry.size;
    }
    m_total = total;
}

} // namespace textcache
