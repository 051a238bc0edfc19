#include "search/archives/archive_level.h"

#include "platform/core/chunk_reader.h"
#include "search/archives/archive_budget.h"
#include "search/archives/archive_signature.h"
#include "search/archives/zip_overlaps.h"
#include "search/documents/signatures.h"

#include <archive.h>
#include <archive_entry.h>

#include <QStringDecoder>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace archives {

namespace {

constexpr qsizetype kBlockSize = 64 * 1024;

// A single compressed file's member is named after it, without the compression's suffix.
QString streamMemberName(const QString &name)
{
    static const char *const kSuffixes[] = {".gz",  ".tgz",  ".bz2",  ".tbz2",  ".xz",  ".txz",
                                            ".zst", ".tzst", ".gzip", ".bzip2", ".zstd"};
    const qsizetype slash = name.lastIndexOf(u'/');
    const QString base = name.mid(slash + 1);
    for (const char *suffix : kSuffixes) {
        const QString s = QString::fromLatin1(suffix);
        if (base.size() > s.size() && base.endsWith(s, Qt::CaseInsensitive))
            return base.left(base.size() - s.size());
    }
    return base.isEmpty() ? QStringLiteral("data") : base;
}

bool mentionsEncryption(struct archive *a)
{
    const char *message = archive_error_string(a);
    if (!message)
        return false;
    const QByteArray text = QByteArray(message).toLower();
    return text.contains("encrypt") || text.contains("passphrase") || text.contains("password");
}

} // namespace

bool looksLikeArchive(QByteArrayView head)
{
    return hasArchiveSignature(head);
}

bool needsWholeBytes(QByteArrayView head)
{
    return documents::recognisedWhole(head) || head.startsWith("7z\xBC\xAF\x27\x1C");
}

QString decodeMemberName(QByteArrayView raw)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString name = utf8(raw);
    if (utf8.hasError()) {
        QStringDecoder gb18030("GB18030");
        if (gb18030.isValid())
            name = gb18030(raw);
    }
    name.replace(u'\\', u'/');
    for (;;) {
        if (name.startsWith(u'/'))
            name.remove(0, 1);
        else if (name.startsWith(u"./"))
            name.remove(0, 2);
        else
            break;
    }
    return name;
}

Level::Level(QByteArray prefix, ReadBlock more, QString name, std::function<bool()> keepGoing)
    : m_prefix(std::move(prefix)), m_more(std::move(more)), m_name(std::move(name)),
      m_keepGoing(std::move(keepGoing))
{}

std::unique_ptr<Level> Level::inMemory(QByteArray bytes, QString name,
                                       std::function<bool()> keepGoing)
{
    auto level =
        std::make_unique<Level>(QByteArray(), ReadBlock(), std::move(name), std::move(keepGoing));
    level->m_memory = true;
    level->m_bytes = std::move(bytes);
    return level;
}

std::unique_ptr<Level> Level::inFile(platform::ChunkReader &file, QByteArray head, QString name,
                                     std::function<bool()> keepGoing)
{
    auto level = std::make_unique<Level>(
        std::move(head),
        [&file](QByteArray &buffer, qsizetype size) { return file.readInto(buffer, size); },
        std::move(name), std::move(keepGoing));
    level->m_file = &file;
    level->m_fileSize = file.size();
    return level;
}

Level::~Level()
{
    if (m_archive)
        archive_read_free(m_archive);
}

long Level::readCallback(struct archive *, void *self, const void **buffer)
{
    Level *level = static_cast<Level *>(self);
    if (!level->m_budget)
        return level->readMore(buffer);
    // Everything a read does waits on something other than this level's own work: the disk, the
    // level around it (which charges its own work), the poll.
    const Clock::time_point from = Clock::now();
    const long got = level->readMore(buffer);
    level->m_waited += Clock::now() - from;
    return got;
}

Level::Clock::time_point Level::startWork()
{
    m_waited = {};
    return m_budget ? Clock::now() : Clock::time_point();
}

bool Level::chargeWork(Clock::time_point start)
{
    if (!m_budget)
        return true;
    const Clock::duration work = Clock::now() - start - m_waited;
    // A compressed stream (a tar.gz) inflates what lies between members too, when they are
    // skipped: the stream's own output counts there.
    const qint64 out = m_opened && archive_filter_count(m_archive) > 1
                           ? archive_filter_bytes(m_archive, 0)
                           : m_dataOut;
    const qint64 bytes = std::max<qint64>(out - m_charged, 0);
    m_charged += bytes;
    return m_budget->charge(bytes, std::max(work, Clock::duration::zero()));
}

long Level::readMore(const void **buffer)
{
    if (m_keepGoing && !m_keepGoing()) {
        m_stopped = true;
        archive_set_error(m_archive, ECANCELED, "stopped");
        return -1;
    }
    // The whole stream's decompression, over all members and what is skipped between them: a
    // compressed tar whose members are small can still inflate without end.
    if (m_opened && archive_filter_count(m_archive) > 1) {
        const qint64 out = archive_filter_bytes(m_archive, 0);
        const qint64 in = archive_filter_bytes(m_archive, -1);
        if (out > kBombFloor && out / kBombRatio > in) {
            m_bomb = true;
            archive_set_error(m_archive, EFBIG, "decompression bomb");
            return -1;
        }
    }
    if (m_memory) {
        const qint64 n = std::clamp<qint64>(m_bytes.size() - m_position, 0, kBlockSize);
        *buffer = m_bytes.constData() + m_position;
        m_position += n;
        return long(n);
    }
    if (!m_prefix.isEmpty()) {
        m_block = std::move(m_prefix);
        m_prefix = QByteArray();
    } else {
        m_block.resize(0);
        if (m_more(m_block, kBlockSize) < 0) {
            archive_set_error(m_archive, EIO, "read error");
            return -1;
        }
    }
    *buffer = m_block.constData();
    m_position += m_block.size();
    return long(m_block.size());
}

std::int64_t Level::seekCallback(struct archive *, void *self, std::int64_t offset, int whence)
{
    return static_cast<Level *>(self)->seek(offset, whence);
}

qint64 Level::seek(qint64 offset, int whence)
{
    const qint64 size = m_memory ? m_bytes.size() : m_fileSize;
    qint64 target = offset;
    if (whence == SEEK_CUR)
        target = m_position + offset;
    else if (whence == SEEK_END)
        target = size + offset;
    if (target < 0 || size < 0)
        return ARCHIVE_FATAL;
    target = std::min(target, size);
    if (!m_memory) {
        // The bytes read ahead of the file's position are given up: the file is read from the
        // new position on.
        if (!m_file->seekTo(target))
            return ARCHIVE_FATAL;
        m_prefix = QByteArray();
    }
    m_position = target;
    return target;
}

bool Level::openArchive()
{
    m_archive = archive_read_new();
    const QByteArrayView head = m_memory ? QByteArrayView(m_bytes) : QByteArrayView(m_prefix);
    const bool stream = isCompressedStream(head);
    archive_read_support_filter_gzip(m_archive);
    archive_read_support_filter_bzip2(m_archive);
    archive_read_support_filter_xz(m_archive);
    archive_read_support_filter_zstd(m_archive);
    // Read as a stream: the entries' local headers in order, never the entry list at the end.
    archive_read_support_format_zip_streamable(m_archive);
    archive_read_support_format_7zip(m_archive);
    archive_read_support_format_rar(m_archive);
    archive_read_support_format_rar5(m_archive);
    archive_read_support_format_tar(m_archive);
    if (stream)
        archive_read_support_format_raw(m_archive);
    archive_read_set_callback_data(m_archive, this);
    archive_read_set_read_callback(m_archive, &Level::readCallback);
    // Only a 7z is read from anywhere: every other format is read in one pass, as a stream.
    if ((m_memory || (m_file && m_fileSize >= 0)) && startsWith(head, "7z\xBC\xAF\x27\x1C"))
        archive_read_set_seek_callback(m_archive, &Level::seekCallback);
    if (startsWith(head, "PK\x03\x04"))
        readZipDirectory();
    m_opened = archive_read_open1(m_archive) == ARCHIVE_OK;
    return m_opened;
}

// The stream gives a ZIP's entries by their local headers and never sees the entry list at the
// end, where entries laid over one another show. When the archive can be read from anywhere, the
// list is read first, and the file is then read on from where it was.
void Level::readZipDirectory()
{
    if (m_memory) {
        m_overlapping = overlappingZipEntries(
            m_bytes.size(), [this](qint64 offset, qsizetype size, QByteArray &bytes) {
                bytes = m_bytes.mid(offset, size);
                return true;
            });
        return;
    }
    if (!m_file || m_fileSize < 0)
        return;
    const qint64 resume = m_prefix.size();
    m_overlapping =
        overlappingZipEntries(m_fileSize, [this](qint64 offset, qsizetype size, QByteArray &bytes) {
            bytes.resize(0);
            if (!m_file->seekTo(offset))
                return false;
            while (bytes.size() < size) {
                const qint64 got = m_file->readInto(bytes, size - bytes.size());
                if (got < 0)
                    return false;
                if (got == 0)
                    break;
            }
            return true;
        });
    // Reading on where the stream stopped; when that fails, nothing more can be read.
    if (!m_file->seekTo(resume))
        m_more = [](QByteArray &, qsizetype) { return qint64(-1); };
}

bool Level::memberEncrypted() const
{
    return m_entry && archive_entry_is_data_encrypted(m_entry);
}

Level::Next Level::next()
{
    if (m_ended)
        return Next::End;
    const Clock::time_point start = startWork();
    const Next next = nextEntry();
    if (chargeWork(start))
        return next;
    // The archive's budget is spent (here or at another level): nothing more is read.
    m_entry = nullptr;
    m_ended = true;
    m_failure = m_stopped ? Failure::None : Failure::Damaged;
    return Next::Failed;
}

Level::Next Level::nextEntry()
{
    const auto fail = [this](Failure why) {
        m_ended = true;
        m_failure = m_stopped ? Failure::None : why;
        return Next::Failed;
    };
    // Before a format is chosen libarchive cannot be asked about encrypted entries.
    if (!m_archive && !openArchive())
        return fail(mentionsEncryption(m_archive) ? Failure::Encrypted : Failure::Damaged);
    for (;;) {
        const int status = archive_read_next_header(m_archive, &m_entry);
        if (status == ARCHIVE_EOF) {
            m_ended = true;
            return Next::End;
        }
        if (status < ARCHIVE_WARN) {
            m_entry = nullptr;
            const bool encrypted =
                archive_read_has_encrypted_entries(m_archive) > 0 || mentionsEncryption(m_archive);
            return fail(encrypted && !m_bomb ? Failure::Encrypted : Failure::Damaged);
        }
        ++m_index;
        if (archive_entry_filetype(m_entry) != AE_IFREG || archive_entry_hardlink(m_entry))
            continue;
        if (archive_format(m_archive) == ARCHIVE_FORMAT_RAW) {
            m_path = streamMemberName(m_name);
        } else {
            const char *raw = archive_entry_pathname(m_entry);
            if (!raw)
                raw = archive_entry_pathname_utf8(m_entry);
            m_path = raw ? decodeMemberName(QByteArrayView(raw, qsizetype(std::strlen(raw))))
                         : QString();
            if (m_path.isEmpty())
                m_path = QStringLiteral("?");
        }
        m_size = archive_entry_size_is_set(m_entry) ? archive_entry_size(m_entry) : -1;
        m_memberOut = 0;
        m_memberStartIn = archive_filter_bytes(m_archive, -1);
        m_memberFailure = Failure::None;
        // Read over without inflating: the bytes of an entry laid over others are theirs too.
        if (!m_overlapping.isEmpty() &&
            (archive_format(m_archive) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP &&
            m_overlapping.contains(archive_read_header_position(m_archive)))
            m_memberFailure = Failure::Damaged;
        return Next::Member;
    }
}

qint64 Level::readData(char *data, qsizetype size)
{
    if (m_memberFailure != Failure::None || m_stopped)
        return -1;
    // Asked here too, not only when more input is needed: a member that inflates a lot can give
    // many blocks from one block of input.
    if (m_keepGoing && !m_keepGoing()) {
        m_stopped = true;
        return -1;
    }
    const Clock::time_point start = startWork();
    const la_ssize_t got = archive_read_data(m_archive, data, size_t(size));
    if (got > 0)
        m_dataOut += got;
    if (!chargeWork(start)) {
        m_memberFailure = Failure::Damaged;
        m_ended = true;
        return -1;
    }
    if (got < 0) {
        if (m_stopped)
            return -1;
        m_memberFailure = (memberEncrypted() || mentionsEncryption(m_archive)) && !m_bomb
                              ? Failure::Encrypted
                              : Failure::Damaged;
        if (got == ARCHIVE_FATAL)
            m_ended = true;
        return -1;
    }
    m_memberOut += got;
    const qint64 in = archive_filter_bytes(m_archive, -1) - m_memberStartIn;
    if (m_memberOut > kBombFloor && m_memberOut / kBombRatio > std::max<qint64>(in, 1)) {
        m_memberFailure = Failure::Damaged;
        // In one compressed stream (a compressed tar, a solid 7z) the next member lies behind
        // the rest of this one, which only inflating it can pass: the archive ends here.
        if (archive_filter_count(m_archive) > 1 || archive_format(m_archive) == ARCHIVE_FORMAT_7ZIP)
            m_ended = true;
        return -1;
    }
    return got;
}

} // namespace archives
