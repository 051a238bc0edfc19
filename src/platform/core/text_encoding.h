#pragma once

#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

class QIODevice;

namespace platform {

// How the bytes of one file are turned into text.
enum class TextEncoding { Gbk, Utf8, Utf16LE, Utf16BE };

inline bool isUtf16(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
}

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

// Decides the encoding of a file without a byte-order mark from its bytes, fed in order as they
// are read: UTF-8 when the kSniffWindow bytes that begin at the first non-ASCII byte are valid
// UTF-8, else GBK. Every reader of files decides through this one rule.
class EncodingSniffer
{
public:
    // Takes the next bytes; returns the encoding once it is known (and from then on).
    std::optional<TextEncoding> feed(QByteArrayView bytes);
    // True once a non-ASCII byte has been seen but the window after it is not complete yet.
    bool needsMore() const { return m_started && !m_decided; }
    // The input ended: decides from what was fed (all ASCII reads the same either way: GBK).
    TextEncoding finish();

private:
    QByteArray m_window;
    bool m_started = false;
    std::optional<TextEncoding> m_decided;
};

// Reads the device from its current position (which it restores) and decides the encoding of
// the text that follows, with the BOM rules above; `bomLength` receives the BOM's size.
TextEncoding detectEncoding(QIODevice &device, int *bomLength);

QStringDecoder makeDecoder(TextEncoding encoding);

// True when decoding GBK or UTF-8 bytes may start at `at` with a fresh decoder: the bytes before
// it leave nothing pending, so the text from there on is what decoding from further back gives.
// `before`: how many bytes before `at` may be looked at.
bool startsCharacter(const char *at, qsizetype before, TextEncoding encoding);
QStringEncoder makeCodePageEncoder();

// Decodes `bytes` with `decoder` and appends the text to `text`, without a temporary string.
void appendDecoded(QString &text, QStringDecoder &decoder, QByteArrayView bytes);

// Decodes the last bytes of a field with `decoder` and appends the text to `text`, ending the
// field: a multi-byte sequence left incomplete at its end becomes U+FFFD, as an invalid sequence
// anywhere else does. The decoder's state is reset after.
void appendFieldEnd(QString &text, QStringDecoder &decoder, QByteArrayView lastBytes = {});

// Decodes one whole field of a byte encoding, by the rule of appendFieldEnd.
QString decodeField(QStringDecoder &decoder, QByteArrayView field);

// Decodes a UTF-16 file's bytes (after its byte-order mark) fed in chunks. A dangling odd byte at
// the end of the file becomes U+FFFD.
class Utf16Decoder
{
public:
    explicit Utf16Decoder(TextEncoding encoding = TextEncoding::Utf16LE);
    void append(QString &text, QByteArrayView bytes);
    // The file ended.
    void finish(QString &text);

private:
    QStringDecoder m_decoder;
    qint64 m_bytes = 0;
};

// True when every character of `text` survives a round trip through the code page.
bool isCodePageEncodable(const QString &text);

} // namespace platform
