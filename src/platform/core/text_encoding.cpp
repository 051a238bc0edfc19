#include "platform/core/text_encoding.h"

#include "platform/core/gb18030.h"
#include "platform/core/utf8_sequence.h"

#include <QIODevice>

#include <algorithm>

namespace platform {

std::optional<ByteOrderMark> detectBom(QByteArrayView start)
{
    const auto u = [&](qsizetype i) { return static_cast<unsigned char>(start[i]); };
    if (start.size() >= 3 && u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF)
        return ByteOrderMark{TextEncoding::Utf8, 3};
    if (start.size() >= 2 && u(0) == 0xFF && u(1) == 0xFE)
        return ByteOrderMark{TextEncoding::Utf16LE, 2};
    if (start.size() >= 2 && u(0) == 0xFE && u(1) == 0xFF)
        return ByteOrderMark{TextEncoding::Utf16BE, 2};
    return std::nullopt;
}

qsizetype firstNonAscii(QByteArrayView bytes)
{
    const auto *begin = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *end = begin + bytes.size();
    for (const uchar *p = utf8::skipAsciiWords(begin, end); p < end; ++p) {
        if (*p >= 0x80)
            return p - begin;
    }
    return -1;
}

Utf8Extent utf8Extent(QByteArrayView bytes, qsizetype from)
{
    // Stops at the first invalid byte: most windows that are not UTF-8 (GBK text) fail at their
    // first character, and decoding the rest would be wasted.
    const auto *begin = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *end = begin + bytes.size();
    const uchar *p = begin + from;
    while (p < end) {
        p = utf8::skipAsciiWords(p, end);
        if (p == end)
            break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const utf8::SequenceResult sequence = utf8::readSequence(p, end);
        if (sequence.kind != utf8::Sequence::Complete)
            return {p - begin, sequence.kind == utf8::Sequence::Invalid};
        p += sequence.length;
    }
    return {bytes.size(), false};
}

bool isValidUtf8Window(QByteArrayView window, bool fileEndsHere)
{
    // A sequence cut off by the end of the window is valid unless the file ends there too.
    const Utf8Extent extent = utf8Extent(window);
    return !extent.invalid && (extent.validTo == window.size() || !fileEndsHere);
}

std::optional<TextEncoding> EncodingSniffer::feed(QByteArrayView bytes)
{
    if (m_decided)
        return m_decided;
    if (!m_started) {
        const qsizetype first = firstNonAscii(bytes);
        if (first < 0)
            return std::nullopt;
        m_started = true;
        bytes = bytes.sliced(first);
    }
    bytes = bytes.first(std::min<qsizetype>(bytes.size(), kSniffWindow - m_window.size()));
    QByteArrayView window = bytes;
    if (!m_window.isEmpty()) {
        m_window.append(bytes);
        window = m_window;
    }
    m_decided = decide(window, window.size() == kSniffWindow ? Window::Full : Window::Partial);
    if (!m_decided && m_window.isEmpty())
        m_window = bytes.toByteArray();
    return m_decided;
}

TextEncoding EncodingSniffer::finish()
{
    if (!m_decided)
        m_decided = m_started ? decide(m_window, Window::Ended) : TextEncoding::Gb18030;
    return *m_decided;
}

std::optional<TextEncoding> EncodingSniffer::decide(QByteArrayView window, Window state)
{
    if (!m_notUtf8) {
        const Utf8Extent extent = utf8Extent(window, m_utf8Checked);
        m_utf8Checked = extent.validTo;
        m_notUtf8 = extent.invalid;
    }
    if (!m_notUtf8) {
        // Valid so far: only the whole window tells, and a sequence cut off by its end counts as
        // valid unless the file ends there.
        if (state == Window::Partial)
            return std::nullopt;
        if (state == Window::Full || m_utf8Checked == window.size())
            return TextEncoding::Utf8;
    }
    return big5OrGb18030(window, state != Window::Partial);
}

Encoding detectTextEncoding(QByteArrayView bytes, int *bomLength)
{
    if (bomLength)
        *bomLength = 0;
    if (const auto bom = detectBom(bytes)) {
        if (bomLength)
            *bomLength = bom->length;
        return {bom->encoding, {}};
    }
    if (auto head = encodingFromHead(bytes.first(std::min(bytes.size(), kHeadSize)),
                                     bytes.size() <= kHeadSize))
        return *head;
    EncodingSniffer sniffer;
    const std::optional<TextEncoding> kind = sniffer.feed(bytes);
    return {kind ? *kind : sniffer.finish(), {}};
}

QString decodeText(QByteArrayView bytes, const Encoding &encoding)
{
    if (encoding.kind == TextEncoding::Gb18030)
        return decodeGb18030(bytes);
    if (!cutsAsBytes(encoding)) {
        TextDecoder decoder(encoding);
        QString text;
        decoder.append(text, bytes);
        decoder.finish(text);
        return text;
    }
    QStringDecoder decoder = makeDecoder(encoding);
    return decodeField(decoder, bytes);
}

Encoding detectEncoding(QIODevice &device, int *bomLength)
{
    const qint64 origin = device.pos();
    *bomLength = 0;
    if (const auto bom = detectBom(device.peek(3))) {
        *bomLength = bom->length;
        return {bom->encoding, {}};
    }
    // The head: the first kHeadSize bytes, or all when the file is shorter.
    QByteArray head;
    while (head.size() < kHeadSize) {
        const QByteArray more = device.read(kHeadSize - head.size());
        if (more.isEmpty())
            break;
        head += more;
    }
    if (auto decided = encodingFromHead(head, head.size() < kHeadSize)) {
        device.seek(origin);
        return *decided;
    }
    EncodingSniffer sniffer;
    std::optional<TextEncoding> result = sniffer.feed(head);
    constexpr qint64 kChunk = 256 * 1024;
    while (!result) {
        const QByteArray chunk = device.read(kChunk);
        if (chunk.isEmpty())
            break;
        result = sniffer.feed(chunk);
    }
    device.seek(origin);
    return {result ? *result : sniffer.finish(), {}};
}

bool startsCharacter(const char *at, qsizetype before, TextEncoding encoding)
{
    const auto byte = [at](qsizetype k) { return static_cast<uchar>(at[-k]); };
    switch (encoding) {
    case TextEncoding::Big5:
        // A byte below 0x40 is neither a lead nor a trail byte.
        return before >= 1 && byte(1) < 0x40;
    case TextEncoding::Gb18030: {
        // A byte below 0x40 is neither a lead nor a trail byte, except the digits, which are the
        // second and fourth bytes of a four-byte sequence: a digit after a byte that is no lead
        // and no third byte (below 0x81) stands alone.
        if (before < 1)
            return false;
        const uchar b = byte(1);
        if (b < 0x30 || (b > 0x39 && b < 0x40))
            return true;
        return b <= 0x39 && before >= 2 && byte(2) < 0x81;
    }
    case TextEncoding::Utf8:
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
    case TextEncoding::Declared:
        return false;
    }
    // No lead byte in the last three bytes that still waits for continuation bytes.
    for (qsizetype k = 1; k <= 3; ++k) {
        if (k > before)
            return false;
        const uchar b = byte(k);
        if ((b & 0xC0) == 0x80)
            continue;
        if (b >= 0xC2 && b <= 0xF4) {
            const int needed = b < 0xE0 ? 2 : (b < 0xF0 ? 3 : 4);
            return needed <= k;
        }
        return true;
    }
    return true;
}

QStringDecoder makeDecoder(const Encoding &encoding)
{
    // The file's own byte-order mark is skipped by the caller; a U+FEFF inside the text is text.
    constexpr auto keepBom = QStringConverter::Flag::ConvertInitialBom;
    switch (encoding.kind) {
    case TextEncoding::Utf8:
        return QStringDecoder(QStringConverter::Utf8, keepBom);
    case TextEncoding::Utf16LE:
        return QStringDecoder(QStringConverter::Utf16LE, keepBom);
    case TextEncoding::Utf16BE:
        return QStringDecoder(QStringConverter::Utf16BE, keepBom);
    case TextEncoding::Big5:
        return QStringDecoder("Big5");
    case TextEncoding::Declared:
        return QStringDecoder(encoding.charset.constData());
    case TextEncoding::Gb18030:
        break;
    }
    return QStringDecoder("GB18030");
}

QStringEncoder makeCodePageEncoder()
{
    return QStringEncoder(kCodePageName);
}

void appendDecoded(QString &text, QStringDecoder &decoder, QByteArrayView bytes)
{
    const qsizetype old = text.size();
    text.resize(old + decoder.requiredSpace(bytes.size()));
    const QChar *end = decoder.appendToBuffer(text.data() + old, bytes);
    text.resize(end - text.constData());
}

void appendFieldEnd(QString &text, QStringDecoder &decoder, QByteArrayView lastBytes)
{
    // A line feed is never part of a multi-byte sequence, so decoding one after the field turns a
    // sequence left incomplete there into U+FFFD. It must be one call with the last bytes: the ICU
    // converter drops a lead byte still pending when the input ends, and Qt's UTF-8 decoder loses
    // pending bytes that a later call completes with an invalid byte.
    const QByteArrayView lineFeed("\n", 1);
    if (lastBytes.isEmpty()) {
        appendDecoded(text, decoder, lineFeed); // the common case, once per field: no copy
    } else {
        QByteArray bytes;
        bytes.reserve(lastBytes.size() + 1);
        bytes.append(lastBytes.data(), lastBytes.size());
        bytes.append(lineFeed);
        appendDecoded(text, decoder, bytes);
    }
    text.chop(1);
    decoder.resetState();
}

QString decodeField(QStringDecoder &decoder, QByteArrayView field)
{
    decoder.resetState();
    QString text;
    appendFieldEnd(text, decoder, field);
    return text;
}

TextDecoder::TextDecoder(const Encoding &encoding)
    : m_decoder(makeDecoder(encoding)), m_utf16(isUtf16(encoding.kind))
{}

void TextDecoder::append(QString &text, QByteArrayView bytes)
{
    appendDecoded(text, m_decoder, bytes);
    m_bytes += bytes.size();
}

void TextDecoder::finish(QString &text)
{
    // The decoder keeps a dangling odd byte pending and never says so: the reader does.
    if (m_utf16 && m_bytes % 2 != 0)
        text.append(QChar(QChar::ReplacementCharacter));
    m_bytes = 0;
    m_decoder.resetState();
}

bool isCodePageEncodable(const QString &text)
{
    QStringEncoder encoder = makeCodePageEncoder();
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return false;
    QStringDecoder decoder(kCodePageName);
    return QString(decoder.decode(bytes)) == text;
}

} // namespace platform
