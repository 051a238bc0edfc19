#pragma once

#include "platform/core/utf8_sequence.h"

#include <QtGlobal>

#include <cstring>

namespace search {

// Decodes the UTF-8 bytes of one text field fed in pieces, giving exactly what Qt's UTF-8
// decoder gives for the whole field in one call (as platform::decodeField does): a well-formed
// sequence becomes its character, and every other byte becomes U+FFFD on its own, except that a
// lead byte followed only by continuation bytes waits for the next piece. Qt's own decoder cannot
// be fed in pieces for this: it loses bytes when a pending sequence turns out to be invalid.
//
// The output buffer must have room for as many UTF-16 units as bytes are fed, plus 3.
class Utf8Decoder
{
public:
    char16_t *decode(const char *data, qsizetype size, char16_t *out)
    {
        auto p = reinterpret_cast<const uchar *>(data);
        const uchar *end = p + size;
        if (m_pending > 0) {
            // Finish the steps that begin in the pending bytes, with up to 4 bytes of the piece.
            uchar joined[8];
            std::memcpy(joined, m_bytes, m_pending);
            const int taken = int(qMin<qsizetype>(end - p, 4));
            std::memcpy(joined + m_pending, p, taken);
            const int total = m_pending + taken;
            int at = 0;
            while (at < m_pending) {
                const int used = step(joined + at, joined + total, out);
                if (used == 0) { // still incomplete: the whole piece was too short
                    std::memmove(m_bytes, joined + at, total - at);
                    m_pending = total - at;
                    return out;
                }
                at += used;
            }
            p += at - m_pending;
            m_pending = 0;
        }
        while (p < end) {
            const uchar *ascii = platform::utf8::skipAsciiWords(p, end);
            for (; p < ascii; ++p)
                *out++ = *p;
            if (p == end)
                break;
            const int used = step(p, end, out);
            if (used == 0) {
                m_pending = int(end - p);
                std::memcpy(m_bytes, p, m_pending);
                return out;
            }
            p += used;
        }
        return out;
    }

    // The field ends here: pending bytes are decoded as if a line feed followed them.
    char16_t *finish(char16_t *out)
    {
        if (m_pending > 0) {
            uchar joined[4];
            std::memcpy(joined, m_bytes, m_pending);
            joined[m_pending] = '\n';
            int at = 0;
            while (at < m_pending)
                at += step(joined + at, joined + m_pending + 1, out);
            m_pending = 0;
        }
        return out;
    }

    void reset() { m_pending = 0; }

private:
    // Decodes one character or one invalid byte at p. Returns the bytes used, or 0 when the
    // sequence may still complete with bytes after `end`.
    static int step(const uchar *p, const uchar *end, char16_t *&out)
    {
        if (*p < 0x80) {
            *out++ = *p;
            return 1;
        }
        const platform::utf8::SequenceResult sequence = platform::utf8::readSequence(p, end);
        switch (sequence.kind) {
        case platform::utf8::Sequence::Invalid:
            return invalid(out);
        case platform::utf8::Sequence::Incomplete:
            return 0;
        case platform::utf8::Sequence::Complete:
            break;
        }
        const char32_t uc = sequence.uc;
        if (uc >= 0x10000) {
            *out++ = char16_t(0xD800 + ((uc - 0x10000) >> 10));
            *out++ = char16_t(0xDC00 + ((uc - 0x10000) & 0x3FF));
        } else {
            *out++ = char16_t(uc);
        }
        return sequence.length;
    }

    static int invalid(char16_t *&out)
    {
        *out++ = 0xFFFD;
        return 1;
    }

    uchar m_bytes[4] = {};
    int m_pending = 0;
};

} // namespace search
