#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace documents {

// Passes the bytes of an XML document on to an XML reader (QXmlStreamReader) so that no token it
// reports is large. The reader reports a run of character data whole, however long, once it has
// seen its end; so a run longer than kPiece bytes is cut by an empty CDATA section
// ("<![CDATA[]]>"), which leaves the text unchanged and makes the reader report it in pieces. A
// CDATA section is cut the same way, by ending it and opening the next. Markup (a tag with its
// attributes, a comment, a processing instruction, a declaration) cannot be cut: one longer than
// kMaxMarkup, or as much blank text outside the root element, is no real document.
//
// The bytes are read as UTF-8 or an encoding that keeps ASCII as it is (what a declaration in the
// first block names): a cut never falls inside a character, a character or entity reference, or
// a CR LF pair. Text in UTF-16 or UTF-32 is passed on as it is (no office suite writes its parts
// so).
class XmlFeed
{
public:
    static constexpr qsizetype kPiece = 64 * 1024;
    static constexpr qsizetype kMaxMarkup = qsizetype(4) << 20;

    // Appends `block`, the document's next bytes, to `out`, with the cuts it needs. False when
    // markup is too long; `out` then holds no more of the document.
    bool feed(QByteArrayView block, QByteArray &out);

private:
    enum class State { Content, Open, Bang, Tag, Comment, Cdata, Instruction, Declaration };
    enum class Bytes { Undecided, Utf8, Ascii, Wide };

    void decideBytes(QByteArrayView head);
    bool mayCut(char previous, char next) const;

    State m_state = State::Content;
    Bytes m_bytes = Bytes::Undecided;
    int m_depth = 0;           // elements open
    qsizetype m_run = 0;       // bytes of the current text run (since the last cut) or markup
    QByteArray m_bang;         // what follows "<!", until the kind of markup is known
    char m_previous = 0;       // the byte before the current one
    char m_beforePrevious = 0; // and the one before it
    char m_quote = 0;          // the quote an attribute value or literal is open in
    char m_lastInTag = 0;      // the last byte of a tag outside quotes ('/' before '>': empty)
    bool m_endTag = false;
    bool m_inReference = false;
    int m_brackets = 0; // '[' open in a declaration (the internal subset of a DOCTYPE)
};

} // namespace documents
