#pragma once

#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

class QIODevice;

namespace platform {

// How the bytes of one file are turned into text.
enum class TextEncoding { Gbk, Utf8, Utf16LE, Utf16BE };

// The program's code page: Simplified Chinese GBK (code page 936), through ICU.
inline constexpr const char *kCodePageName = "GBK";

// A file whose first non-ASCII bytes are valid UTF-8 over this many bytes counts as UTF-8.
inline constexpr qsizetype kSniffWindow = 64 * 1024;

struct ByteOrderMark
{
    TextEncoding encoding;
    int length;
};

// The byte-order mark at the start of a file, if any (needs up to the first 3 bytes).
std::optional<ByteOrderMark> detectBom(QByteArrayView start);

// Index of the first byte >= 0x80, or -1.
qsizetype firstNonAscii(QByteArrayView bytes);

// True when `window` (bytes that begin at a file's first non-ASCII byte) is valid UTF-8.
// A multi-byte sequence cut off at the end of the window is accepted unless the file ends there.
bool isValidUtf8Window(QByteArrayView window, bool fileEndsHere);

// Reads the device from its current position (which it restores) and decides the encoding of
// the text that follows, with the BOM rules above; `bomLength` receives the BOM's size.
TextEncoding detectEncoding(QIODevice &device, int *bomLength);

QStringDecoder makeDecoder(TextEncoding encoding);
QStringEncoder makeCodePageEncoder();

// Decodes one whole field of a byte encoding. A multi-byte sequence left incomplete at the end
// of the field becomes U+FFFD, as an invalid sequence anywhere else does.
QString decodeField(QStringDecoder &decoder, QByteArrayView field);

// True when every character of `text` survives a round trip through the code page.
bool isCodePageEncodable(const QString &text);

} // namespace platform
