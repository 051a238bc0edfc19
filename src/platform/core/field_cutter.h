#pragma once

#include "platform/core/field_skim.h"

#include <QByteArray>
#include <QString>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace detail {

// The first comma, CR or LF in [p, end), or end.
template <typename Char> const Char *findDelimiter(const Char *p, const Char *end)
{
    while (p < end && *p != Char(',') && *p != Char('\r') && *p != Char('\n'))
        ++p;
    return p;
}

// Bytes: sixteen at a time where the processor can compare them at once. Fields are short, so
// this scan is most of the time spent cutting a file.
inline const char *findDelimiter(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, cr)), _mm_cmpeq_epi8(v, lf));
        if (const int mask = _mm_movemask_epi8(hit))
            return p + __builtin_ctz(unsigned(mask));
        p += 16;
    }
#endif
    while (p < end && *p != ',' && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

// The first double quote in [p, end), or end.
template <typename Char> const Char *findQuote(const Char *p, const Char *end)
{
    while (p < end && *p != Char('"'))
        ++p;
    return p;
}

inline const char *findQuote(const char *p, const char *end)
{
    const void *quote = std::memchr(p, '"', size_t(end - p));
    return quote ? static_cast<const char *>(quote) : end;
}

} // namespace detail

// Cuts a character stream into text fields, incrementally: feed it chunk after chunk.
//
// - Spaces before a field are skipped.
// - A field that begins with a double quote runs to the next double quote; commas and line ends
//   inside belong to it. After the closing quote, spaces are skipped and one delimiter (comma,
//   CR, LF or CR LF) is consumed. Any other character there begins the next field, so nothing
//   after a closing quote is lost.
// - Any other field runs to the next comma, CR, LF or CR LF, which is consumed.
// - Everything else is an ordinary character: tabs, trailing blanks, a double quote inside an
//   unquoted field, NUL and other control characters, and byte 26 (which is not an end marker).
// - A quote that is never closed runs to the end of the input.
//
// `Char` is a byte for the encodings whose delimiters 0x20, 0x22, 0x2C, 0x0D and 0x0A are never
// part of a multi-byte character (cutsAsBytes: the trail bytes of GB18030, Big5 and Shift-JIS
// are 0x40 and up, GB18030's four-byte digits 0x30-0x39) and char16_t for decoded text (UTF-16,
// and charsets such as ISO-2022-JP that make characters of ASCII bytes).
template <typename Char> class FieldCutter
{
public:
    // Consumes characters from [p, end) until one field is complete or the input is used up.
    // The field's content is handed to out.append(const Char *, qsizetype), possibly in pieces.
    // Returns true when the field ended; p then points past its delimiter.
    template <typename Out> bool cut(const Char *&p, const Char *end, Out &out)
    {
        while (p < end) {
            if (m_skipLf) {
                m_skipLf = false;
                if (*p == Char('\n')) {
                    ++p;
                    continue;
                }
            }
            switch (m_state) {
            case State::Start: {
                const Char c = *p;
                if (c == Char(' ')) {
                    ++p;
                    continue;
                }
                if (c == Char('"')) {
                    ++p;
                    m_state = State::Quoted;
                    continue;
                }
                if (isDelimiter(c))
                    return endAtDelimiter(p);
                m_state = State::Unquoted;
                continue;
            }
            case State::Unquoted: {
                const Char *q = detail::findDelimiter(p, end);
                if (q > p)
                    out.append(p, q - p);
                p = q;
                if (p == end)
                    return false;
                return endAtDelimiter(p);
            }
            case State::Quoted: {
                const Char *q = detail::findQuote(p, end);
                if (q > p)
                    out.append(p, q - p);
                p = q;
                if (p == end)
                    return false;
                ++p;
                m_state = State::AfterQuote;
                continue;
            }
            case State::AfterQuote: {
                const Char c = *p;
                if (c == Char(' ')) {
                    ++p;
                    continue;
                }
                if (isDelimiter(c))
                    return endAtDelimiter(p);
                m_state = State::Start;
                return true;
            }
            }
        }
        return false;
    }

    // Consumes all of [p, end), whatever fields end inside.
    template <typename Out> void cutAll(const Char *p, const Char *end, Out &out)
    {
        while (p < end)
            cut(p, end, out);
    }

    // Call before testing for the end of input: a line feed that completes a CR LF pair is
    // part of the previous delimiter, not input still to read.
    void skipPendingLineFeed(const Char *&p, const Char *end)
    {
        if (m_skipLf && p < end) {
            m_skipLf = false;
            if (*p == Char('\n'))
                ++p;
        }
    }

    FieldState state() const { return m_state; }

    // Continues as if the input had been cut up to a place where the state is `state`
    // (skimFields tells such places); `afterCarriageReturn` when the place follows a CR that
    // ended a field (a line feed right after it then belongs to it).
    void resume(FieldState state, bool afterCarriageReturn)
    {
        m_state = state;
        m_skipLf = afterCarriageReturn;
    }

    void reset()
    {
        m_state = State::Start;
        m_skipLf = false;
    }

private:
    using State = FieldState;

    static bool isDelimiter(Char c) { return c == Char(',') || c == Char('\r') || c == Char('\n'); }

    bool endAtDelimiter(const Char *&p)
    {
        m_skipLf = *p == Char('\r');
        ++p;
        m_state = State::Start;
        return true;
    }

    State m_state = State::Start;
    bool m_skipLf = false;
};

// Field sinks that append the pieces of a field to a string.
struct AppendToBytes
{
    QByteArray &bytes;
    void append(const char *data, qsizetype size) { bytes.append(data, size); }
};

struct AppendToText
{
    QString &text;
    void append(const char16_t *data, qsizetype size) { text.append(QStringView(data, size)); }
};

} // namespace platform
