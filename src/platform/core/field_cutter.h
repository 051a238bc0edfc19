#pragma once

#include <QtGlobal>

namespace platform {

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
// `Char` is a byte for single- and multi-byte code pages (the delimiters 0x20, 0x22, 0x2C, 0x0D
// and 0x0A are never part of a GBK double-byte character) and char16_t for UTF-16 text.
template <typename Char>
class FieldCutter
{
public:
    // Consumes characters from [p, end) until one field is complete or the input is used up.
    // The field's content is handed to out.append(const Char *, qsizetype), possibly in pieces.
    // Returns true when the field ended; p then points past its delimiter.
    template <typename Out>
    bool cut(const Char *&p, const Char *end, Out &out)
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
                const Char *q = p;
                while (q < end && !isDelimiter(*q))
                    ++q;
                if (q > p)
                    out.append(p, q - p);
                p = q;
                if (p == end)
                    return false;
                return endAtDelimiter(p);
            }
            case State::Quoted: {
                const Char *q = p;
                while (q < end && *q != Char('"'))
                    ++q;
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

    // True while the current field is inside an open double quote.
    bool inQuotes() const { return m_state == State::Quoted; }

    void reset()
    {
        m_state = State::Start;
        m_skipLf = false;
    }

private:
    enum class State { Start, Unquoted, Quoted, AfterQuote };

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

} // namespace platform
