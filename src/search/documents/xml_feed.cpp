#include "search/documents/xml_feed.h"

#include <algorithm>

namespace documents {

namespace {

// How far past kPiece a cut waits for a place between two characters; a run that offers none
// for this long is no text in its encoding, and is cut where it is.
constexpr qsizetype kMaxWait = 64;

constexpr QByteArrayView kTextCut("<![CDATA[]]>");
constexpr QByteArrayView kCdataCut("]]><![CDATA[");
constexpr QByteArrayView kComment("--");
constexpr QByteArrayView kCdata("[CDATA[");

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

void XmlFeed::decideBytes(QByteArrayView head)
{
    m_bytes = Bytes::Utf8;
    if (head.size() >= 2) {
        const auto b0 = uchar(head[0]), b1 = uchar(head[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || b0 == 0 || b1 == 0) {
            m_bytes = Bytes::Wide;
            return;
        }
    }
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    if (!head.startsWith("<?xml"))
        return;
    const qsizetype close = head.indexOf("?>");
    const QByteArrayView declaration = close < 0 ? head : head.first(close);
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return;
    QByteArrayView value = declaration.sliced(at + 8);
    while (!value.isEmpty() && (isSpace(value.front()) || value.front() == '=' ||
                                value.front() == '"' || value.front() == '\''))
        value = value.sliced(1);
    if (!value.startsWith("UTF-8") && !value.startsWith("utf-8") && !value.startsWith("Utf-8"))
        m_bytes = Bytes::Ascii;
}

bool XmlFeed::mayCut(char previous, char next) const
{
    // Never between "]]" and ">": that would end a CDATA section twice, or hide the "]]>" that
    // text must not hold.
    if (previous == ']' && next == '>')
        return false;
    if (m_run >= kPiece + kMaxWait)
        return true;
    if (m_inReference || (previous == '\r' && next == '\n'))
        return false;
    const auto b = uchar(next);
    if (m_bytes == Bytes::Ascii)
        return b < 0x80 && uchar(previous) < 0x80;
    return (b & 0xC0) != 0x80; // not inside a UTF-8 sequence
}

bool XmlFeed::feed(QByteArrayView block, QByteArray &out)
{
    if (m_bytes == Bytes::Undecided)
        decideBytes(block);
    if (m_bytes == Bytes::Wide) {
        out.append(block);
        return true;
    }
    const char *p = block.data();
    const qsizetype n = block.size();
    qsizetype from = 0;
    const auto cut = [&](qsizetype at, QByteArrayView with) {
        out.append(p + from, at - from);
        out.append(with);
        from = at;
        m_run = 0;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        switch (m_state) {
        case State::Content:
            if (c == '<') {
                m_state = State::Open;
                m_run = 0;
                m_inReference = false;
                break;
            }
            if (m_depth > 0 && m_run >= kPiece && mayCut(m_previous, c))
                cut(i, kTextCut);
            if (c == '&')
                m_inReference = true;
            else if (c == ';')
                m_inReference = false;
            // Outside the root element only blanks may stand, and they cannot be cut.
            if (++m_run > kMaxMarkup && m_depth == 0)
                return false;
            break;
        case State::Open:
            m_quote = 0;
            m_lastInTag = c;
            m_endTag = c == '/';
            if (c == '?') {
                m_state = State::Instruction;
            } else if (c == '!') {
                m_state = State::Bang;
                m_bang.clear();
            } else {
                m_state = State::Tag;
            }
            break;
        case State::Bang:
            m_bang.append(c);
            if (m_bang == kComment) {
                m_state = State::Comment;
                m_previous = 0; // the dashes that open a comment do not close it
                m_beforePrevious = 0;
                continue;
            }
            if (m_bang == kCdata) {
                m_state = State::Cdata;
                m_run = 0;
            } else if (!kComment.startsWith(m_bang) && !kCdata.startsWith(m_bang)) {
                m_state = State::Declaration;
                m_brackets = 0;
                m_quote = 0;
                --i; // this byte is the declaration's
                continue;
            }
            break;
        case State::Tag:
            if (m_quote) {
                if (c == m_quote)
                    m_quote = 0;
            } else if (c == '"' || c == '\'') {
                m_quote = c;
            } else if (c == '>') {
                if (m_endTag)
                    m_depth = std::max(0, m_depth - 1);
                else if (m_lastInTag != '/')
                    ++m_depth;
                m_state = State::Content;
                m_run = 0;
                break;
            }
            if (!m_quote)
                m_lastInTag = c;
            break;
        case State::Comment:
            if (c == '>' && m_previous == '-' && m_beforePrevious == '-') {
                m_state = State::Content;
                m_run = 0;
            }
            break;
        case State::Instruction:
            if (c == '>' && m_previous == '?') {
                m_state = State::Content;
                m_run = 0;
            }
            break;
        case State::Cdata:
            if (c == '>' && m_previous == ']' && m_beforePrevious == ']') {
                m_state = State::Content;
                m_run = 0;
                break;
            }
            if (m_run >= kPiece && mayCut(m_previous, c))
                cut(i, kCdataCut);
            ++m_run;
            break;
        case State::Declaration:
            if (m_quote) {
                if (c == m_quote)
                    m_quote = 0;
            } else if (c == '"' || c == '\'') {
                m_quote = c;
            } else if (c == '[') {
                ++m_brackets;
            } else if (c == ']') {
                m_brackets = std::max(0, m_brackets - 1);
            } else if (c == '>' && m_brackets == 0) {
                m_state = State::Content;
                m_run = 0;
            }
            break;
        }
        if (m_state != State::Content && m_state != State::Cdata && ++m_run > kMaxMarkup)
            return false;
        m_beforePrevious = m_previous;
        m_previous = c;
    }
    out.append(p + from, n - from);
    return true;
}

} // namespace documents
