#include "platform/core/text_encoding.h"

#include <QIODevice>

#include <cstring>

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
    const char *data = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    // Eight bytes at a time: most files are long runs of ASCII.
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        if (word & 0x8080808080808080ULL)
            break;
    }
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            return i;
    }
    return -1;
}

bool isValidUtf8Window(QByteArrayView window, bool fileEndsHere)
{
    // The rules of Qt's UTF-8 decoder, stopping at the first invalid byte: most windows that are
    // not UTF-8 (GBK text) fail at their first character, and decoding the rest would be wasted.
    const auto *p = reinterpret_cast<const uchar *>(window.data());
    const uchar *end = p + window.size();
    const auto isContinuation = [](uchar b) { return (b & 0xC0) == 0x80; };
    while (p < end) {
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const uchar b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int needed;
        char32_t min;
        char32_t uc;
        if (b <= 0xC1 || b >= 0xF5)
            return false;
        if (b < 0xE0) {
            needed = 2;
            min = 0x80;
            uc = b & 0x1F;
        } else if (b < 0xF0) {
            needed = 3;
            min = 0x800;
            uc = b & 0x0F;
        } else {
            needed = 4;
            min = 0x10000;
            uc = b & 0x07;
        }
        const qsizetype available = end - p - 1;
        if (available < needed - 1) {
            // Cut off by the end of the window: valid unless the file ends there too, or the
            // bytes that are there already break the sequence.
            for (qsizetype i = 1; i <= available; ++i) {
                if (!isContinuation(p[i]))
                    return false;
            }
            return !fileEndsHere;
        }
        for (int i = 1; i < needed; ++i) {
            if (!isContinuation(p[i]))
                return false;
            uc = (uc << 6) | (p[i] & 0x3F);
        }
        if (uc < min || (uc >= 0xD800 && uc <= 0xDFFF) || uc > 0x10FFFF)
            return false;
        p += needed;
    }
    return true;
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
    TextEncoding result = TextEncoding::Gbk;
    constexpr qint64 kChunk = 256 * 1024;
    for (;;) {
        const QByteArray chunk = device.read(kChunk);
        if (chunk.isEmpty())
            break; // all ASCII (or empty): both readings are the same
        const qsizetype first = firstNonAscii(chunk);
        if (first < 0)
            continue;
        QByteArray window = chunk.mid(first, kSniffWindow);
        if (window.size() < kSniffWindow)
            window += device.read(kSniffWindow - window.size());
        const bool endsHere = window.size() < kSniffWindow && device.atEnd();
        result = isValidUtf8Window(window, endsHere) ? TextEncoding::Utf8 : TextEncoding::Gbk;
        break;
    }
    device.seek(origin);
    return result;
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

QString decodeField(QStringDecoder &decoder, QByteArrayView field)
{
    decoder.resetState();
    // A line feed is never part of a multi-byte sequence, so decoding one after the field turns a
    // sequence left incomplete there into U+FFFD. It must be one call: the ICU converter drops a
    // lead byte still pending when the input ends, and Qt's UTF-8 decoder loses pending bytes that
    // a later call completes with an invalid byte.
    QByteArray bytes;
    bytes.reserve(field.size() + 1);
    bytes.append(field.data(), field.size());
    bytes.append('\n');
    QString text = QString(decoder.decode(bytes));
    text.chop(1);
    return text;
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
