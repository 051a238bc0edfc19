#include "search/documents/msg/compressed_rtf.h"

#include "search/documents/ole2/compound_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace documents::msg {

namespace {

constexpr quint32 kCompressed = 0x75465A4C;   // "LZFu"
constexpr quint32 kUncompressed = 0x414C454D; // "MELA"
constexpr qsizetype kHeaderSize = 16;
constexpr int kDictionarySize = 4096;

// What the dictionary holds before the first byte: RTF that most bodies start with, so that
// their first bytes are references already.
constexpr char kPrefix[] = "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman "
                           "\\fswiss \\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes "
                           "New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
                           "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(sizeof(kPrefix) - 1 == 207);

// The CRC of the compressed contents: CRC-32 with no inversion before or after, which is zlib's
// CRC-32 inverted on both sides.
quint32 contentsCrc(QByteArrayView contents)
{
    uLong crc = 0xFFFFFFFFul;
    for (qsizetype at = 0; at < contents.size();) {
        const uInt n = uInt(std::min<qsizetype>(contents.size() - at, 1 << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef *>(contents.data() + at), n);
        at += n;
    }
    return quint32(~crc);
}

} // namespace

std::optional<QByteArray> decompressRtf(QByteArrayView stream, qint64 maxBytes)
{
    if (stream.size() < kHeaderSize)
        return std::nullopt;
    const quint32 compressedSize = le32(stream, 0);
    const quint32 rawSize = le32(stream, 4);
    const quint32 kind = le32(stream, 8);
    // The compressed size counts the contents and the 12 header bytes after itself; the stream
    // may be longer (padding).
    if (compressedSize < 12 ||
        quint64(compressedSize) - 12 > quint64(stream.size() - kHeaderSize) ||
        qint64(rawSize) > maxBytes)
        return std::nullopt;
    const QByteArrayView contents = stream.sliced(kHeaderSize, compressedSize - 12);
    if (kind == kUncompressed) {
        if (rawSize > quint64(contents.size()))
            return std::nullopt;
        return contents.first(rawSize).toByteArray();
    }
    if (kind != kCompressed || contentsCrc(contents) != le32(stream, 12))
        return std::nullopt;

    std::array<char, kDictionarySize> dictionary{};
    std::memcpy(dictionary.data(), kPrefix, sizeof(kPrefix) - 1);
    int write = sizeof(kPrefix) - 1;
    QByteArray out;
    // A token of two bytes gives at most 17: the header's size is believed only that far.
    out.reserve(std::min<qsizetype>(qsizetype(rawSize), 9 * contents.size()));
    const auto put = [&](char c) {
        out.append(c);
        dictionary[size_t(write)] = c;
        write = (write + 1) % kDictionarySize;
    };
    qsizetype at = 0;
    while (at < contents.size()) {
        const quint8 control = quint8(contents[at++]);
        for (int bit = 0; bit < 8; ++bit) {
            // Contents that end without the end reference are whole only when they have given
            // all the RTF the header names.
            if (at >= contents.size())
                return out.size() == qsizetype(rawSize) ? std::optional(out) : std::nullopt;
            if (!(control & (1 << bit))) {
                put(contents[at++]);
            } else {
                if (at + 2 > contents.size())
                    return std::nullopt;
                const int reference = (quint8(contents[at]) << 8) | quint8(contents[at + 1]);
                at += 2;
                const int offset = reference >> 4;
                // A reference to where the next byte goes ends the contents.
                if (offset == write)
                    return out;
                const int length = (reference & 0xF) + 2;
                for (int i = 0; i < length; ++i)
                    put(dictionary[size_t((offset + i) % kDictionarySize)]);
            }
            if (out.size() > qsizetype(rawSize))
                return std::nullopt;
        }
    }
    return out.size() == qsizetype(rawSize) ? std::optional(out) : std::nullopt;
}

} // namespace documents::msg
