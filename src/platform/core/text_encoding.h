#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

class QIODevice;

namespace platform {

// How the bytes of one file are turned into text.
enum class TextEncoding {
    Gb18030, // GBK and the four-byte sequences of GB18030 (gb18030.h): the program's code page
    Utf8,
    Utf16LE,
    Utf16BE,
    Big5,
    Declared, // another charset that an HTML or XML file declares (Encoding::charset)
};

struct Encoding
{
    TextEncoding kind = TextEncoding::Gb18030;
    QByteArray charset; // for Declared: the charset's name as the file gives it
    friend bool operator==(const Encoding &, const Encoding &) = default;
};

inline bool isUtf16(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
}

// True when fields can be cut on the bytes: the comma, CR, LF, the double quote and the space
// are single bytes that stand for themselves and never lie inside another character (GB18030,
// UTF-8, Big5, and declared charsets such as Shift-JIS or windows-1252). Otherwise (UTF-16, and
// declared charsets such as ISO-2022-JP whose characters are made of ASCII bytes) the text is
// decoded first and cut on its characters.
bool cutsAsBytes(const Encoding &encoding);

// The code page files are written in (the last-location file): GBK, code page 936.
inline constexpr const char *kCodePageName = "GBK";

// A file whose first non-ASCII bytes are valid UTF-8 over this many bytes counts as UTF-8.
inline constexpr qsizetype kSniffWindow = 64 * 1024;
// The first bytes of a file (after its byte-order mark) in which a declared charset and the zero
// bytes of UTF-16 are looked for.
inline constexpr qsizetype kHeadSize = 4 * 1024;

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

// How far `bytes` are valid UTF-8 from `from` on (a position where a character starts): up to
// `validTo`, where the first invalid sequence (`invalid`) or one cut off by the end begins, or the
// end.
struct Utf8Extent
{
    qsizetype validTo;
    bool invalid;
};
Utf8Extent utf8Extent(QByteArrayView bytes, qsizetype from = 0);

// The charset an HTML or XML file declares in `head` (its first bytes): `<?xml ... encoding=...?>`,
// `<meta charset=...>` or the charset in a `<meta http-equiv=... content=...>`. Only a text that
// begins (after blanks) with '<' is taken for HTML or XML. The name as written, lower case.
std::optional<QByteArray> declaredCharset(QByteArrayView head);

// What a declared charset name means here; nothing when it is unknown, or a UTF-16 or UTF-32
// name (a file whose declaration reads as ASCII is neither).
std::optional<Encoding> encodingNamed(const QByteArray &charset);

// UTF-16 without a byte-order mark, told by its zero bytes: ASCII-heavy UTF-16 text has a zero
// in every other byte and almost none in the others.
std::optional<TextEncoding> utf16ByZeros(QByteArrayView head);

// The decisions made on a file's head (the first kHeadSize bytes after any byte-order mark, or
// all of them when the file is shorter; `fileEndsHere` then): a declared charset, or UTF-16 by
// its zero bytes unless the head's non-ASCII bytes are valid UTF-8. Nothing: decide by
// EncodingSniffer.
std::optional<Encoding> encodingFromHead(QByteArrayView head, bool fileEndsHere);

// The most bytes, from a file's first non-ASCII byte on, on which Big5 and GB18030 are told
// apart (text with many double-byte characters is told on fewer, see big5OrGb18030).
inline constexpr qsizetype kBig5Sample = 16 * 1024;

// Big5 or GB18030 for `window` (bytes that begin at the first non-ASCII byte and are not UTF-8),
// decided on a sample of its start: the blocks of bytes up to the one that brings the lead bytes
// to about two thousand (a thousand characters), at most kBig5Sample bytes. GB18030 as soon as
// the sample holds enough sequences that only GBK has (a trail byte in 0x80-0xA0, a four-byte
// sequence); else Big5 only when it holds enough double-byte characters for the detector's
// confidence to mean something, many of them with a trail byte in 0x40-0x7E (as Big5 has and
// GBK text rarely), and ICU's charset detector, shown the sample, is confident in Big5 and less
// in GB18030. Nothing when more bytes may follow (`whole` false) and those seen do not settle
// it.
std::optional<TextEncoding> big5OrGb18030(QByteArrayView window, bool whole);

// Decides the encoding of a file without a byte-order mark or a head decision from its bytes,
// fed in order as they are read: UTF-8 when the kSniffWindow bytes that begin at the first
// non-ASCII byte are valid UTF-8; else big5OrGb18030. Every reader of files decides through this
// one rule. The answer comes as soon as the bytes fed settle it (an invalid UTF-8 sequence and
// the Big5 sample, or enough sequences only GBK has), which is what the whole window would
// decide; it is the same however the bytes are cut into pieces.
class EncodingSniffer
{
public:
    // Takes the next bytes; returns the encoding once it is known (and from then on).
    std::optional<TextEncoding> feed(QByteArrayView bytes);
    // True once a non-ASCII byte has been seen but the encoding is not known yet.
    bool needsMore() const { return m_started && !m_decided; }
    // The input ended: decides from what was fed (all ASCII reads the same either way).
    TextEncoding finish();

private:
    enum class Window { Partial, Full, Ended };
    std::optional<TextEncoding> decide(QByteArrayView window, Window state);
    // Bytes of the window kept while the encoding is open (the first bytes fed are looked at
    // where they lie, and kept only when they do not settle it).
    QByteArray m_window;
    qsizetype m_utf8Checked = 0; // the window is valid UTF-8 up to here
    bool m_notUtf8 = false;      // the window holds an invalid UTF-8 sequence
    bool m_started = false;
    std::optional<TextEncoding> m_decided;
};

// The whole rule on the bytes of a short text held whole (an archive member's name, a file name):
// byte-order mark, declared charset, UTF-8, UTF-16 by zeros, Big5, GB18030. `bomLength` receives
// the size of the byte-order mark.
Encoding detectTextEncoding(QByteArrayView bytes, int *bomLength = nullptr);

// Decodes a text held whole in `encoding` (after its byte-order mark).
QString decodeText(QByteArrayView bytes, const Encoding &encoding);

// Reads the device from its current position (which it restores) and decides the encoding of
// the text that follows by the rule above; `bomLength` receives the BOM's size.
Encoding detectEncoding(QIODevice &device, int *bomLength);

// A decoder for UTF-8, UTF-16, Big5 and declared charsets (GB18030 has its own, gb18030.h).
QStringDecoder makeDecoder(const Encoding &encoding);

// True when decoding bytes may start at `at` with a fresh decoder: the bytes before it leave
// nothing pending, so the text from there on is what decoding from further back gives.
// `before`: how many bytes before `at` may be looked at. Always false for encodings without such
// a rule here (UTF-16, declared charsets): decoding then starts at a field's start.
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

// Decodes the bytes of a file that is cut on characters (not cutsAsBytes) fed in chunks. A
// dangling odd byte at the end of a UTF-16 file becomes U+FFFD.
class TextDecoder
{
public:
    explicit TextDecoder(const Encoding &encoding = {TextEncoding::Utf16LE, {}});
    void append(QString &text, QByteArrayView bytes);
    // The file ended.
    void finish(QString &text);

private:
    QStringDecoder m_decoder;
    bool m_utf16;
    qint64 m_bytes = 0;
};

// True when every character of `text` survives a round trip through the code page.
bool isCodePageEncodable(const QString &text);

} // namespace platform
