// The parts of the encoding rule that look at a file's head: a declared charset, the zero bytes
// of UTF-16.

#include "platform/core/text_encoding.h"

#include <QHash>
#include <QMutex>

#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace platform {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
           c == ':';
}

// The value after `key` (spaces, '=', spaces, an optional quote) in `tag`, or nothing.
std::optional<QByteArray> valueAfter(const QByteArray &tag, const char *key)
{
    for (qsizetype at = tag.indexOf(key); at >= 0; at = tag.indexOf(key, at + 1)) {
        qsizetype p = at + qsizetype(std::strlen(key));
        while (p < tag.size() && isBlank(tag[p]))
            ++p;
        if (p >= tag.size() || tag[p] != '=')
            continue;
        ++p;
        while (p < tag.size() && (isBlank(tag[p]) || tag[p] == '"' || tag[p] == '\''))
            ++p;
        const qsizetype begin = p;
        while (p < tag.size() && isNameChar(tag[p]))
            ++p;
        if (p > begin)
            return tag.mid(begin, p - begin);
    }
    return std::nullopt;
}

// Whether a charset's converter keeps the field delimiters as bytes of their own (see
// cutsAsBytes), asked once per name.
bool delimitersStandAlone(const QByteArray &charset)
{
    static QMutex mutex;
    static QHash<QByteArray, bool> known;
    QMutexLocker lock(&mutex);
    if (const auto it = known.constFind(charset); it != known.cend())
        return *it;
    bool alone = false;
    UErrorCode status = U_ZERO_ERROR;
    if (UConverter *converter = ucnv_open(charset.constData(), &status); U_SUCCESS(status)) {
        const UConverterType type = ucnv_getType(converter);
        alone = type == UCNV_SBCS || type == UCNV_MBCS || type == UCNV_LATIN_1 ||
                type == UCNV_US_ASCII || type == UCNV_UTF8;
        ucnv_close(converter);
    }
    QStringDecoder decoder(charset.constData());
    alone = alone && decoder.isValid();
    // Each delimiter reads as itself, alone and after any byte with the high bit set.
    static constexpr std::array<char, 5> delimiters = {',', '\r', '\n', '"', ' '};
    for (int b = 0x7F; alone && b < 0x100; ++b) {
        for (const char d : delimiters) {
            const char bytes[2] = {char(b), d};
            const QByteArrayView input =
                b == 0x7F ? QByteArrayView(&d, 1) : QByteArrayView(bytes, 2);
            decoder.resetState();
            const QString text = decoder.decode(input);
            if (text.isEmpty() || text.back() != QLatin1Char(d)) {
                alone = false;
                break;
            }
        }
    }
    known.insert(charset, alone);
    return alone;
}

} // namespace

bool cutsAsBytes(const Encoding &encoding)
{
    switch (encoding.kind) {
    case TextEncoding::Gb18030:
    case TextEncoding::Utf8:
    case TextEncoding::Big5:
        return true;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        return false;
    case TextEncoding::Declared:
        break;
    }
    return delimitersStandAlone(encoding.charset);
}

std::optional<QByteArray> declaredCharset(QByteArrayView head)
{
    qsizetype start = 0;
    while (start < head.size() && isBlank(head[start]))
        ++start;
    if (start >= head.size() || head[start] != '<')
        return std::nullopt;
    const QByteArray text = head.sliced(start).toByteArray().toLower();
    if (text.startsWith("<?xml")) {
        const qsizetype end = text.indexOf("?>");
        if (auto name = valueAfter(text.left(end < 0 ? text.size() : end), "encoding"))
            return name;
    }
    for (qsizetype at = text.indexOf("<meta"); at >= 0; at = text.indexOf("<meta", at + 1)) {
        const qsizetype end = text.indexOf('>', at);
        const QByteArray tag = text.mid(at, end < 0 ? -1 : end - at);
        if (auto name = valueAfter(tag, "charset"))
            return name;
    }
    return std::nullopt;
}

std::optional<Encoding> encodingNamed(const QByteArray &charset)
{
    static const QHash<QByteArray, TextEncoding> known = {
        {"utf-8", TextEncoding::Utf8},          {"utf8", TextEncoding::Utf8},
        {"gbk", TextEncoding::Gb18030},         {"gb2312", TextEncoding::Gb18030},
        {"gb18030", TextEncoding::Gb18030},     {"gb_2312-80", TextEncoding::Gb18030},
        {"x-gbk", TextEncoding::Gb18030},       {"cp936", TextEncoding::Gb18030},
        {"windows-936", TextEncoding::Gb18030}, {"euc-cn", TextEncoding::Gb18030},
        {"csgb2312", TextEncoding::Gb18030},    {"chinese", TextEncoding::Gb18030},
        {"big5", TextEncoding::Big5},           {"big-5", TextEncoding::Big5},
        {"x-x-big5", TextEncoding::Big5},       {"csbig5", TextEncoding::Big5},
        {"cn-big5", TextEncoding::Big5},        {"cp950", TextEncoding::Big5},
        {"windows-950", TextEncoding::Big5},
    };
    const QByteArray name = charset.toLower();
    if (const auto it = known.constFind(name); it != known.cend())
        return Encoding{*it, {}};
    if (name.startsWith("utf-16") || name.startsWith("utf-32") || name.startsWith("utf16") ||
        name.startsWith("utf32") || name.startsWith("ucs-") || name.startsWith("iso-10646"))
        return std::nullopt;
    if (name.isEmpty() || !QStringDecoder(name.constData()).isValid())
        return std::nullopt;
    return Encoding{TextEncoding::Declared, name};
}

std::optional<TextEncoding> utf16ByZeros(QByteArrayView head)
{
    // Most text has no zero byte at all, which memchr tells fastest.
    if (head.isEmpty() || !std::memchr(head.data(), 0, size_t(head.size())))
        return std::nullopt;
    const qsizetype units = head.size() / 2;
    qsizetype zeroEven = 0;
    qsizetype zeroOdd = 0;
    // Counted in bytes, a block of at most 255 units at a time, so that the loop runs on vectors.
    const auto *bytes = reinterpret_cast<const uchar *>(head.data());
    for (qsizetype i = 0; i < units;) {
        const qsizetype blockEnd = std::min<qsizetype>(units, i + 255);
        uchar even = 0;
        uchar odd = 0;
        for (; i < blockEnd; ++i) {
            even += bytes[2 * i] == 0;
            odd += bytes[2 * i + 1] == 0;
        }
        zeroEven += even;
        zeroOdd += odd;
    }
    // A zero in at least every fourth unit on one side (an ASCII character's high byte), and on
    // the other side only the rare character whose low byte is zero (U+4E00 一).
    const auto says = [units](qsizetype high, qsizetype low) {
        return high >= 2 && 4 * high >= units && 16 * low <= high;
    };
    if (says(zeroOdd, zeroEven))
        return TextEncoding::Utf16LE;
    if (says(zeroEven, zeroOdd))
        return TextEncoding::Utf16BE;
    return std::nullopt;
}

std::optional<Encoding> encodingFromHead(QByteArrayView head, bool fileEndsHere)
{
    if (const auto name = declaredCharset(head)) {
        if (auto encoding = encodingNamed(*name))
            return encoding;
    }
    if (const auto utf16 = utf16ByZeros(head)) {
        // Valid UTF-8 comes first: text whose non-ASCII bytes are well-formed UTF-8.
        const qsizetype first = firstNonAscii(head);
        if (first < 0 || !isValidUtf8Window(head.sliced(first), fileEndsHere))
            return Encoding{*utf16, {}};
    }
    return std::nullopt;
}

} // namespace platform
