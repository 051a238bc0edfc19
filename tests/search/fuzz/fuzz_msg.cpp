// Feeds arbitrary bytes to the Outlook message reader. The first byte picks the mode:
// - even: the rest is a file held in memory, through recognition, the message's text and its
//   attachments. An Outlook message is recognised only with the compound file signature; its
//   reading ends Done or Damaged; every attachment handed out holds no more bytes than the limit
//   asked, and all its bytes when it is not damaged.
// - odd: the rest is a compressed RTF body (PidTagRtfCompressed) whose CRC is set right first,
//   so that the decompressor itself is reached: it never gives more than the size its header
//   names or the limit.
// Whatever the bytes, no crash, hang or unbounded memory (the sanitizers watch those).

#include "platform/core/little_endian.h"
#include "search/documents/document_text.h"
#include "search/documents/msg/compressed_rtf.h"
#include "search/documents/registry.h"
#include "search/documents/signatures.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>

namespace {

void compressedRtf(QByteArray stream)
{
    if (stream.size() >= 16) {
        const uLong crc = crc32(0xFFFFFFFFul, reinterpret_cast<const Bytef *>(stream.data()) + 16,
                                uInt(stream.size() - 16));
        const quint32 raw = quint32(~crc);
        for (int i = 0; i < 4; ++i)
            stream[12 + i] = char(raw >> (8 * i));
    }
    constexpr qint64 kLimit = 1 << 20;
    const std::optional<QByteArray> rtf = documents::msg::decompressRtf(stream, kLimit);
    if (rtf && (rtf->size() > kLimit || quint32(rtf->size()) > platform::le32(stream, 4)))
        std::abort();
}

void message(const QByteArray &bytes)
{
    const documents::Source source = documents::Source::fromBytes(bytes, QStringLiteral("in.msg"));
    const QByteArrayView head = QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 64));
    const std::unique_ptr<documents::Document> document = documents::openDocument(source, head);
    if (!document || document->kind() != documents::Kind::OutlookMessage)
        return;
    if (!head.startsWith(QByteArrayView(documents::kOle2Signature, 8)))
        std::abort();
    platform::WorkMonitor monitor;
    const documents::Outcome outcome = document->extract([](QStringView) { return true; }, monitor);
    if (outcome != documents::Outcome::Done && outcome != documents::Outcome::Damaged)
        std::abort();
    if (!document->hasAttachments())
        return;
    std::unique_ptr<documents::Attachments> attachments = document->takeAttachments();
    if (!attachments)
        std::abort();
    constexpr qint64 kLimit = 4096;
    while (const auto attachment = attachments->next(kLimit)) {
        if (attachment->bytes.size() > kLimit ||
            (!attachment->damaged && attachment->bytes.size() != attachment->size))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    if (data[0] & 1)
        compressedRtf(rest);
    else
        message(rest);
    return 0;
}
