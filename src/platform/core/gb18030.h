#pragma once

#include <QString>

#include <cstring>
#include <vector>

namespace platform {

// GB18030 as this program reads it: every single byte and every two-byte sequence exactly as the
// GBK code page (code page 936) decodes it, so a GBK file reads as it always did, plus the
// four-byte sequences of GB18030 (lead 0x81-0xFE, a digit 0x30-0x39, 0x81-0xFE, a digit) for the
// characters GBK lacks: the rest of the Basic Multilingual Plane (Hangul, Mongolian, Tibetan, rare
// CJK characters) and the supplementary planes (CJK Extension B and later).
//
// The tables come from the system's own converters once: GBK for one and two bytes, GB18030 for
// the four-byte forms of the Basic Multilingual Plane; the supplementary planes follow GB18030's
// linear rule. A well-formed four-byte sequence that names no character is one U+FFFD.
class Gb18030Tables
{
public:
    static const Gb18030Tables &instance();

    // How the sequence that starts with byte `lead` (0x81-0xFE) and `next` reads when it is not a
    // four-byte sequence: `length` 2 (a character or one U+FFFD for both bytes) or 1 (the lead
    // byte is U+FFFD on its own and `next` starts the next character).
    struct Pair
    {
        char16_t c;
        quint8 length;
    };
    Pair pair(uchar lead, uchar next) const { return m_pairs[(lead - 0x81) * 256 + next]; }
    // The character of a byte below 0x81 or of 0xFF read alone.
    char16_t single(uchar b) const { return m_single[b]; }
    // The code point of a four-byte sequence, or U+FFFD.
    char32_t four(const uchar *p) const;

    // False when the system's converters did not keep to the structure these tables assume.
    bool usable() const { return m_usable; }

    static bool isFourByteStart(const uchar *p)
    {
        return p[1] >= 0x30 && p[1] <= 0x39 && p[2] >= 0x81 && p[2] <= 0xFE && p[3] >= 0x30 &&
               p[3] <= 0x39;
    }
    // The linear index of a four-byte sequence, counted from 0x81308130.
    static quint32 fourIndex(const uchar *p)
    {
        return quint32(p[0] - 0x81) * 12600 + quint32(p[1] - 0x30) * 1260 +
               quint32(p[2] - 0x81) * 10 + quint32(p[3] - 0x30);
    }
    static constexpr quint32 kBmpFourCount = 39420;          // 0x81308130 .. 0x8431A439
    static constexpr quint32 kSupplementaryFirst = 189000;   // 0x90308130
    static constexpr quint32 kSupplementaryCount = 0x100000; // U+10000 .. U+10FFFF

private:
    Gb18030Tables();
    std::vector<Pair> m_pairs;      // 126 leads x 256 next bytes
    std::vector<char16_t> m_single; // 256
    std::vector<char16_t> m_four;   // the four-byte forms of the Basic Multilingual Plane
    bool m_usable = true;
};

// Decodes the GB18030 bytes of one text field fed in pieces, giving exactly what decoding the
// whole field at once gives; a sequence left incomplete at the end of the field reads as if a
// line feed followed it (its lead byte becomes U+FFFD).
//
// The output buffer must have room for as many UTF-16 units as bytes are fed, plus 4.
class Gb18030Decoder
{
public:
    char16_t *decode(const char *data, qsizetype size, char16_t *out);
    // The field ends here.
    char16_t *finish(char16_t *out);
    void reset() { m_pending = 0; }
    // True when the bytes fed so far end in a lead byte and a digit, which the next two bytes
    // may make a four-byte sequence of.
    bool waitsOnDigit() const { return m_pending == 2 && m_bytes[1] >= 0x30 && m_bytes[1] <= 0x39; }

    // Appends the decoding of `bytes` to `text`.
    void append(QString &text, const char *data, qsizetype size);
    void appendFinish(QString &text);

private:
    // Decodes one character at p. Returns the bytes used, or 0 when the sequence may still
    // complete with bytes after `end` (and `atEnd` is false).
    static int step(const Gb18030Tables &tables, const uchar *p, const uchar *end, bool atEnd,
                    char16_t *&out);

    uchar m_bytes[4] = {};
    int m_pending = 0;
};

// Decodes one whole GB18030 field.
QString decodeGb18030(QByteArrayView bytes);

} // namespace platform
