#include "platform/core/text_encoding.h"

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

bool isValidUtf8Window(QByteArrayView window, bool fileEndsHere)
{
    // Stops at the first invalid byte: most windows that are not UTF-8 (GBK text) fail at their
    // first character, and decoding the rest would be wasted.
    const auto *p = reinterpret_cast<const uchar *>(window.data());
    const uchar *end = p + window.size();
    while (p < end) {
        p = utf8::skipAsciiWords(p, end);
        if (p == end)
            break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const utf8::SequenceResult sequence = utf8::readSequence(p, end);
        switch (sequence.kind) {
        case utf8::Sequence::Invalid:
            return false;
        case utf8::Sequence::Incomplete:
            // Cut off by the end of the window: valid unless the file ends there too.
            return !fileEndsHere;
        case utf8::Sequence::Complete:
            p += sequence.length;
            break;
        }
    }
    return true;
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
    m_window.append(bytes.first(std::min<qsizetype>(bytes.size(), kSniffWindow - m_window.size())));
    if (m_window.size() == kSniffWindow)
        m_decided = isValidUtf8Window(m_window, false) ? TextEncoding::Utf8 : TextEncoding::Gbk;
    return m_decided;
}

TextEncoding EncodingSniffer::finish()
{
    if (!m_decided) {
        m_decided =
            m_started && isValidUtf8Window(m_window, true) ? TextEncoding::Utf8 : TextEncoding::Gbk;
    }
    return *m_decided;
}

TextEncoding detectEncoding(QIODevice &device, int *bomLength)
{
    const qint64 origin = device.pos();
    *bomLength = 0;
    const QByteArray head = device.peek(3);
    if (const auto bom = detectBom(head)) {
        *bomLength = bom->length;
        return bom->encoding;
    }
    EncodingSniffer sniffer;
    std::optional<TextEncoding> result;
    constexpr qint64 kChunk = 256 * 1024;
    while (!result) {
        const QByteArray chunk = device.read(kChunk);
        if (chunk.isEmpty())
            break;
        result = sniffer.feed(chunk);
    }
    device.seek(origin);
    return result ? *result : sniffer.finish();
}

bool startsCharacter(const char *at, qsizetype before, TextEncoding encoding)
{
    const auto byte = [at](qsizetype k) { return static_cast<uchar>(at[-k]); };
    if (encoding == TextEncoding::Gbk) {
        // A byte below 0x40 is neither a lead nor a trail byte.
        return before >= 1 && byte(1) < 0x40;
    }
    if (encoding != TextEncoding::Utf8)
        return false;
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

QStringDecoder makeDecoder(TextEncoding encoding)
{
    // The file's own byte-order mark is skipped by the caller; a U+FEFF inside the text is text.
    constexpr auto keepBom = QStringConverter::Flag::ConvertInitialBom;
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringDecoder(QStringConverter::Utf8, keepBom);
    case TextEncoding::Utf16LE:
        return QStringDecoder(QStringConverter::Utf16LE, keepBom);
    case TextEncoding::Utf16BE:
        return QStringDecoder(QStringConverter::Utf16BE, keepBom);
    case TextEncoding::Gbk:
        break;
    }
    return QStringDecoder(kCodePageName);
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

Utf16Decoder::Utf16Decoder(TextEncoding encoding) : m_decoder(makeDecoder(encoding)) {}

void Utf16Decoder::append(QString &text, QByteArrayView bytes)
{
    appendDecoded(text, m_decoder, bytes);
    m_bytes += bytes.size();
}

void Utf16Decoder::finish(QString &text)
{
    // The decoder keeps a dangling odd byte pending and never says so: the reader does.
    if (m_bytes % 2 != 0)
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
