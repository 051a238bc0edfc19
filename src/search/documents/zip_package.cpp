#include "search/documents/zip_package.h"

#include "platform/core/little_endian.h"
#include "search/documents/zip_directory.h"
#include "search/documents/zip_limits.h"

#include "search/documents/text_sink.h"
#include "search/documents/xml_feed.h"

#include "platform/core/paths.h"

#include <QIODevice>
#include <QXmlStreamReader>

#include <archive.h>
#include <archive_entry.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace documents {

namespace {

struct ArchiveCloser
{
    void operator()(archive *a) const { archive_read_free(a); }
};
using Archive = std::unique_ptr<archive, ArchiveCloser>;

// The seekable ZIP reader takes the entry list from the central directory at the end of the file,
// which is what a damaged or cut archive lacks; the streaming reader walks the local headers.
// `bytes`, when not null, is the whole file, read once: a package is opened once per part, and
// from memory that costs no system calls.
Archive openArchive(const QString &path, bool seekable, const QByteArray *bytes = nullptr)
{
    Archive a(archive_read_new());
    if (!a)
        return nullptr;
    if (seekable)
        archive_read_support_format_zip_seekable(a.get());
    else
        archive_read_support_format_zip_streamable(a.get());
    const int r = bytes
                      ? archive_read_open_memory(a.get(), bytes->constData(), size_t(bytes->size()))
                      : archive_read_open_filename(a.get(), platform::nativePath(path).constData(),
                                                   64 * 1024);
    return r == ARCHIVE_OK ? std::move(a) : nullptr;
}

QByteArray entryName(archive_entry *entry)
{
    const char *name = archive_entry_pathname_utf8(entry);
    if (!name)
        name = archive_entry_pathname(entry);
    return name ? QByteArray(name) : QByteArray();
}

} // namespace

bool ZipPackage::packageOverRatio(qint64 inflated) const
{
    return inflated > kPackageRatioFloor && inflated > kMaxPackageRatio * m_compressedRead;
}

ZipPackage::Status ZipPackage::admit(const Entry *entry) const
{
    const qint64 compressed = std::max<qint64>(entry ? entry->compressed : 0, 1);
    const qint64 declared = entry ? entry->declared : -1;
    m_compressedRead += compressed;
    // The size the entry declares, checked before anything is inflated.
    if (declared > kMaxInflated || overRatio(declared, kMaxRatio * compressed) ||
        (declared > 0 &&
         (packageOverRatio(m_inflated + declared) || m_inflated + declared > kMaxPackageInflated)))
        return Status::TooLarge;
    return Status::Ok;
}

// Inflates the entry the archive reader is at, a block at a time, within the ZIP bomb limits.
// `entry` is null for an entry missing from the list (then only the limits on bytes apply).
ZipPackage::Status ZipPackage::inflateBlocks(archive *a, const Entry *entry,
                                             const std::function<bool(QByteArrayView)> &block) const
{
    const qint64 ratioLimit = kMaxRatio * std::max<qint64>(entry ? entry->compressed : 0, 1);
    const qint64 declared = entry ? entry->declared : -1;
    QByteArray buffer(kBlockSize, Qt::Uninitialized);
    qint64 inflated = 0;
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buffer.data(), size_t(buffer.size()));
        if (n == 0)
            return Status::Ok;
        if (n < 0)
            return Status::Damaged;
        inflated += n;
        m_inflated += n;
        if (inflated > kMaxInflated || overRatio(inflated, ratioLimit) ||
            (declared >= 0 && inflated > declared) || packageOverRatio(m_inflated) ||
            m_inflated > kMaxPackageInflated)
            return Status::TooLarge;
        if (!block(QByteArrayView(buffer.constData(), n)))
            return Status::Stopped;
    }
}

// Inflates the entry whose header was just read.
ZipPackage::Status ZipPackage::inflate(archive *a, archive_entry *header, const Entry *entry,
                                       const std::function<bool(QByteArrayView)> &block) const
{
    if (archive_entry_is_encrypted(header))
        return Status::Encrypted;
    if (const Status status = admit(entry); status != Status::Ok)
        return status;
    if (entry) {
        if (const std::optional<Status> status = inflateFromMemory(*entry, block))
            return *status;
    }
    return inflateBlocks(a, entry, block);
}

bool ZipPackage::open(const Source &source)
{
    m_path = source.path();
    m_open = false;
    m_entries.clear();
    m_smallParts.clear();
    m_order.clear();
    m_smallPartBytes = 0;
    m_bytes.clear();
    m_inflated = 0;
    m_compressedRead = 0;
    qint64 fileSize = 0;
    if (source.inMemory()) {
        m_bytes = source.bytes();
        fileSize = m_bytes.size();
        if (m_bytes.isEmpty())
            return false;
    } else {
        const std::unique_ptr<QIODevice> file = source.open();
        if (!file)
            return false;
        fileSize = file->size();
        if (fileSize <= kMaxInMemory) {
            m_bytes = file->read(fileSize);
            if (m_bytes.size() != fileSize)
                return false;
        }
    }
    Archive a = openArchive(m_path, true, bytes());
    if (!a)
        return false;
    std::vector<QString> order; // the entries' keys, as listed
    archive_entry *entry = nullptr;
    for (;;) {
        const int r = archive_read_next_header(a.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN)
            return false;
        if (order.size() >= size_t(kMaxEntries)) {
            m_entries.clear();
            return false;
        }
        const QByteArray name = entryName(entry);
        const QString key = QString::fromUtf8(name).toLower();
        const qint64 declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        // libarchive does not tell an entry's compressed size (nor, with the seekable reader,
        // where its local header is): the file's size bounds it from above, which keeps the
        // ratio check on the safe side.
        Entry listed{name, fileSize, declared};
        listed.encrypted = archive_entry_is_encrypted(entry);
        m_entries.insert(key, listed);
        order.push_back(key);
        m_order.push_back(name);
        // A package in memory has its small parts inflated from there below.
        if (m_bytes.isEmpty() && !archive_entry_is_encrypted(entry))
            keepSmallPart(a.get(), name, declared);
    }
    // A package held in memory has its central directory read here, for the exact compressed
    // sizes (the reader inflates as many bytes as it says) and for inflating parts whole.
    // Every entry the central directory of the package in memory records, by name as stored.
    QHash<QByteArray, ZipDirectoryEntry> central;
    if (!m_bytes.isEmpty()) {
        if (std::optional<std::vector<ZipDirectoryEntry>> directory = readZipDirectory(m_bytes)) {
            for (ZipDirectoryEntry &entry : *directory)
                central.insert(entry.name, std::move(entry));
        }
    }
    for (const QString &key : order) {
        Entry &e = m_entries[key];
        const auto found = central.constFind(e.name);
        if (found == central.cend())
            continue;
        e.compressed = std::min(e.compressed, found->compressed);
        // Inflated whole only where the directory and the entry list agree on the entry's size
        // and it is not encrypted; its local header is checked when it is read.
        if (found->size == e.declared && (found->flags & 1) == 0) {
            e.localHeader = found->localHeader;
            e.packed = found->compressed;
            e.method = found->method;
            e.crc = found->crc;
        }
    }
    if (!m_bytes.isEmpty()) {
        for (const QString &key : order) {
            const Entry &e = m_entries[key];
            QByteArray content;
            if (isSmallPart(e.name, e.declared) && !m_smallParts.contains(e.name) &&
                inflateWhole(e, content)) {
                m_inflated += content.size();
                m_smallPartBytes += content.size();
                m_smallParts.insert(e.name, content);
            }
        }
    }
    m_open = true;
    return true;
}

// A part of a real package's kind is a few KiB; a package of many is read part by part.
constexpr qint64 kMostKept = 64 * 1024;
constexpr qint64 kMostKeptInAll = 1024 * 1024;

bool ZipPackage::isSmallPart(QByteArrayView name, qint64 declared) const
{
    if (declared < 0 || declared > kMostKept || m_smallPartBytes + declared > kMostKeptInAll)
        return false;
    return name.compare("[Content_Types].xml", Qt::CaseInsensitive) == 0 || name == "mimetype" ||
           name.endsWith(".rels");
}

void ZipPackage::keepSmallPart(archive *a, const QByteArray &name, qint64 declared)
{
    if (!isSmallPart(name, declared) || m_smallParts.contains(name))
        return;
    // Within the same limits as any read; whatever fails here is read again, and told, when the
    // part is asked for.
    QByteArray content;
    const Entry bounds{name, std::max<qint64>(declared, 1), declared};
    const Status status = inflateBlocks(a, &bounds, [&](QByteArrayView block) {
        if (content.size() + block.size() > kMostKept)
            return false;
        content.append(block);
        return true;
    });
    m_smallPartBytes += declared;
    if (status == Status::Ok && content.size() == declared)
        m_smallParts.insert(name, content);
}

ZipPackage::Status ZipPackage::read(const QString &name,
                                    const std::function<bool(QByteArrayView)> &block) const
{
    const auto found = m_entries.constFind(name.toLower());
    if (found == m_entries.cend())
        return Status::Missing;
    Archive a = openArchive(m_path, true, bytes());
    if (!a)
        return Status::Damaged;
    archive_entry *entry = nullptr;
    for (;;) {
        const int r = archive_read_next_header(a.get(), &entry);
        if (r == ARCHIVE_EOF)
            return Status::Missing;
        if (r < ARCHIVE_WARN)
            return Status::Damaged;
        if (entryName(entry) == found->name)
            break;
    }
    return inflate(a.get(), entry, &*found, block);
}

ZipPackage::Status ZipPackage::readEach(const std::function<Step(QByteArrayView name)> &entry,
                                        const std::function<bool(QByteArrayView)> &block) const
{
    // A package in memory whose entries open() listed under names of their own is read from
    // that list and its bytes, each part inflated whole; the archive reader takes over at the
    // first part that cannot be (encrypted, or not inflating to what the directory says), which
    // it then reads and tells as it would have.
    if (!m_bytes.isEmpty() && qsizetype(m_order.size()) == m_entries.size()) {
        for (size_t i = 0; i < m_order.size(); ++i) {
            const Step step = entry(m_order[i]);
            if (step == Step::Stop)
                return Status::Stopped;
            if (step == Step::Skip)
                continue;
            const Entry &e = m_entries.find(QString::fromUtf8(m_order[i]).toLower()).value();
            if (e.encrypted || e.localHeader < 0)
                return walkEach(i, true, false, entry, block);
            if (const Status status = admit(&e); status != Status::Ok)
                return status;
            const std::optional<Status> status = inflateFromMemory(e, block);
            if (!status)
                return walkEach(i, true, true, entry, block);
            if (*status != Status::Ok)
                return *status;
        }
        return Status::Ok;
    }
    return walkEach(0, false, false, entry, block);
}

// readEach through the archive reader from the entry at `from` in the listing on. `asked`: the
// entry at `from` is to be read without asking `entry` again; `admitted`: it was counted against
// the limits already.
ZipPackage::Status ZipPackage::walkEach(size_t from, bool asked, bool admitted,
                                        const std::function<Step(QByteArrayView name)> &entry,
                                        const std::function<bool(QByteArrayView)> &block) const
{
    Archive a = openArchive(m_path, true, bytes());
    if (!a)
        return Status::Damaged;
    archive_entry *header = nullptr;
    for (size_t index = 0;; ++index) {
        const int r = archive_read_next_header(a.get(), &header);
        if (r == ARCHIVE_EOF)
            return Status::Ok;
        if (r < ARCHIVE_WARN)
            return Status::Damaged;
        if (index < from)
            continue;
        const QByteArray name = entryName(header);
        if (index > from || !asked) {
            const Step step = entry(name);
            if (step == Step::Stop)
                return Status::Stopped;
            if (step == Step::Skip)
                continue;
        } else if (name != m_order[from]) {
            return Status::Damaged; // listed otherwise a moment ago
        }
        // Two entries whose names differ only in case share a key: the one kept may be the
        // other's.
        const auto found = m_entries.constFind(QString::fromUtf8(name).toLower());
        const bool known = found != m_entries.cend() && found->name == name;
        const Status status = index == from && admitted
                                  ? inflateBlocks(a.get(), known ? &*found : nullptr, block)
                                  : inflate(a.get(), header, known ? &*found : nullptr, block);
        if (status != Status::Ok)
            return status;
    }
}

ZipPackage::Status ZipPackage::readAll(const QString &name, QByteArray &content, qint64 limit) const
{
    content.clear();
    if (const auto found = m_entries.constFind(name.toLower()); found != m_entries.cend()) {
        if (const auto kept = m_smallParts.constFind(found->name); kept != m_smallParts.cend()) {
            if (kept->size() > limit)
                return Status::TooLarge;
            content = *kept;
            return Status::Ok;
        }
    }
    bool tooLarge = false;
    const Status status = read(name, [&](QByteArrayView block) {
        if (content.size() + block.size() > limit) {
            tooLarge = true;
            return false;
        }
        content.append(block);
        return true;
    });
    return tooLarge ? Status::TooLarge : status;
}

QStringList zipNamesFromLocalHeaders(const Source &source, int maxEntries)
{
    QStringList names;
    Archive a = openArchive(source.path(), false, source.inMemory() ? &source.bytes() : nullptr);
    if (!a)
        return names;
    archive_entry *entry = nullptr;
    while (names.size() < maxEntries && archive_read_next_header(a.get(), &entry) >= ARCHIVE_WARN)
        names.append(QString::fromUtf8(entryName(entry)));
    return names;
}

} // namespace documents
