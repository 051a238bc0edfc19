#include "search/cache/entry_file.h"

#include "search/cache/cache_bytes.h"
#include "search/match/text_summary.h"

#include <zstd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace textcache {

using search::TextSummary;

namespace {

// Layout 3: the key holds the hash of the file's content where its times do not tell its changes.
// Entries of an earlier layout are named by other keys and are never found; one read all the same
// fails this check and is removed.
constexpr char kMagic[8] = {'Q', 'X', 'T', 'C', 'A', 'C', 'H', '3'};
// The magic, the key's size, the outcome, the text's length, the summary's size, the checksum.
constexpr qsizetype kHeadFixed = 8 + 4 + 1 + 8 + 1 + 8;
constexpr int kCompressionLevel = 3;
// The first read of an entry, before any was read: the head of a text of some tens of pages.
constexpr qsizetype kFirstRead = 16 * 1024;

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

// The text compressed after `entry`'s head; false when zstd fails.
bool appendFrame(QByteArray &entry, QStringView text)
{
    const size_t bound = ZSTD_compressBound(size_t(text.size()) * 2);
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
    return true;
}

} // namespace

QByteArray EntryFile::encode(QByteArrayView key, quint8 outcome, QStringView text,
                             QByteArrayView summary)
{
    QByteArray entry;
    entry.reserve(kHeadFixed + key.size() + summary.size() +
                  qsizetype(ZSTD_compressBound(size_t(text.size()) * 2)));
    entry.append(kMagic, 8);
    bytes::appendNumber(entry, quint64(key.size()), 4);
    entry.append(key);
    entry.append(char(outcome));
    bytes::appendNumber(entry, quint64(text.size()), 8);
    entry.append(char(std::countr_zero(quint64(summary.size())) + 3));
    entry.append(summary);
    bytes::appendNumber(entry, bytes::checksum(entry), 8);
    if (!appendFrame(entry, text))
        return {};
    return entry;
}

EntryFile::EntryFile(const QByteArray &path, QByteArray &buffer) : m_file(path), m_buffer(buffer) {}

std::optional<EntryFile::Layout> EntryFile::layoutOf(QByteArrayView start, QByteArrayView key)
{
    if (start.size() < kHeadFixed || start.first(8) != QByteArrayView(kMagic, 8))
        return std::nullopt;
    const qsizetype keySize = qsizetype(bytes::numberAt(start, 8, 4));
    if (keySize != key.size() || start.size() < kHeadFixed + keySize ||
        start.sliced(12, keySize) != key)
        return std::nullopt;
    Layout layout;
    const qsizetype at = 12 + keySize;
    layout.head.outcome = quint8(start[at]);
    layout.head.characters = bytes::numberAt(start, at + 1, 8);
    const int summaryLog2 = quint8(start[at + 9]);
    if (layout.head.characters > quint64(kMaxTextChars) ||
        summaryLog2 < TextSummary::kMinBitsLog2 || summaryLog2 > TextSummary::kMaxBitsLog2)
        return std::nullopt;
    layout.summaryAt = at + 10;
    layout.headSize = layout.summaryAt + (qsizetype(1) << (summaryLog2 - 3)) + 8;
    return layout;
}

EntryFile::Verdict EntryFile::readHead(QByteArrayView key)
{
    // The head in one read: as much as the last entry's head took (entries of one folder's
    // documents are alike), rounded up to whole pages.
    thread_local qsizetype firstRead = kFirstRead;
    const qsizetype asked = firstRead;
    m_buffer.resize(asked);
    m_got = m_file.readAt(m_buffer.data(), asked, 0);
    if (m_got < 0)
        return Verdict::Unreadable;
    std::optional<Layout> layout = layoutOf(QByteArrayView(m_buffer.constData(), m_got), key);
    if (!layout)
        return Verdict::Damaged;
    m_headSize = layout->headSize;
    firstRead = std::max<qsizetype>((m_headSize + 4095) / 4096 * 4096, 4096);
    if (m_headSize > m_got) {
        if (const Verdict rest = readRestOfHead(m_headSize, asked); rest != Verdict::Sound)
            return rest;
    }
    const QByteArrayView head(m_buffer.constData(), m_headSize);
    if (bytes::numberAt(head, m_headSize - 8, 8) != bytes::checksum(head.first(m_headSize - 8)))
        return Verdict::Damaged;
    m_head = layout->head;
    m_head.summary = head.sliced(layout->summaryAt, m_headSize - 8 - layout->summaryAt);
    return Verdict::Sound;
}

// The head goes on past the first read: the rest of it, when the file has it.
EntryFile::Verdict EntryFile::readRestOfHead(qsizetype headSize, qsizetype asked)
{
    if (m_got < asked)
        return Verdict::Damaged; // the file ends inside its head
    m_buffer.resize(headSize);
    const qsizetype more = m_file.readAt(m_buffer.data() + m_got, headSize - m_got, m_got);
    if (more < 0)
        return Verdict::Unreadable;
    if (more != headSize - m_got)
        return Verdict::Damaged;
    m_got = headSize;
    return Verdict::Sound;
}

EntryFile::Verdict EntryFile::readText(QString &text)
{
    QByteArray frame;
    if (const Verdict read = readFrame(frame); read != Verdict::Sound)
        return read;
    // The frame's own content size and checksum vouch for the text: a cut or altered entry
    // fails here and is never searched.
    const quint64 characters = m_head.characters;
    if (ZSTD_getFrameContentSize(frame.data(), size_t(frame.size())) != characters * 2)
        return Verdict::Damaged;
    ZSTD_DCtx *const context = decompressionContext();
    if (!context)
        return Verdict::Unreadable;
    text.resize(qsizetype(characters));
    const size_t size = ZSTD_decompressDCtx(context, text.data(), size_t(characters * 2),
                                            frame.data(), size_t(frame.size()));
    if (ZSTD_isError(size) || size != characters * 2)
        return Verdict::Damaged;
    return Verdict::Sound;
}

// The rest of the entry after its head, part of which the first read may hold.
EntryFile::Verdict EntryFile::readFrame(QByteArray &frame)
{
    // The largest entry a stored text can make.
    const qint64 largest =
        qint64(ZSTD_compressBound(size_t(kMaxTextChars) * 2)) + qint64(m_headSize);
    const std::optional<platform::FileStatus> status = m_file.status();
    if (!status)
        return Verdict::Unreadable;
    if (status->size < m_headSize || status->size > largest)
        return Verdict::Damaged;
    frame.resize(qsizetype(status->size) - m_headSize);
    const qsizetype inHead = std::min(m_got - m_headSize, frame.size());
    std::memcpy(frame.data(), m_buffer.constData() + m_headSize, size_t(inHead));
    const qsizetype rest = frame.size() - inHead;
    if (m_file.readAt(frame.data() + inHead, rest, m_headSize + inHead) != rest)
        return Verdict::Damaged;
    return Verdict::Sound;
}

} // namespace textcache
