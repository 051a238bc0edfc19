#pragma once

#include "platform/core/field_skim.h"
#include "search/match/joined_window.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace search {

class FieldDecoder;
class TextMatcher;

// The byte stage of a file's search: the fields' bytes are joined in a window and searched for
// the keyword's byte form; each place that holds it is checked by decoding the text around it.
// Only a hit's surroundings are ever decoded.
class ByteScan
{
public:
    // `history`: joined bytes kept behind the scan, from which the text before a hit is decoded.
    ByteScan(const QString &keyword, qsizetype history);

    // The bytes to look for; nothing while none can occur (an ASCII start of the file cannot
    // hold a keyword with other characters). `rarest`: the byte form of the keyword's rarest
    // character (BytePrefilter::rarestCharacter), which every occurrence holds.
    void setNeedle(std::optional<QByteArray> needle, std::optional<QByteArray> rarest);

    // A place to resume cutting at, and the field cutter's state there.
    struct Resume
    {
        const char *at;
        platform::FieldState state;
        bool afterCarriageReturn;
    };

    // Where cutting the next chunk [begin, end) of the file may resume instead of at `begin`:
    // when no occurrence of the keyword can hold any of the bytes before that place, they need
    // not be cut or joined at all. That is so when the rarest character does not occur in the
    // chunk and no occurrence can run into it from the joined bytes. The place is the end of
    // the last field that ends early enough for the joined bytes after it to hold the excerpt of
    // an occurrence that begins there (platform::skimFields follows the quotes to find it), or,
    // inside a field that runs on (a long line), a character boundary (`encoding`) as early.
    // `state`: the cutter's state at `begin`. The caller resumes the cutter there and restarts
    // the window after a gap. Nothing when the whole chunk must be cut.
    std::optional<Resume> skipTo(const char *begin, const char *end, platform::FieldState state,
                                 std::optional<platform::TextEncoding> encoding);

    // Where the field cutter puts the bytes of each chunk.
    JoinedWindow &window() { return m_window; }

    enum class Verdict {
        NoHitYet, // no occurrence in the bytes joined so far
        Hit,      // `matcher` holds the excerpt decoded to the end of the window
        Restart,  // the window no longer holds a place to decode from: decode the file instead
    };

    // Searches the bytes joined since the last call. On a hit, the decoder is left inside the
    // field at the end of the window, ready to decode the bytes that follow.
    Verdict scan(FieldDecoder &decoder, TextMatcher &matcher);

    int candidatesChecked() const { return m_candidates; }
    qsizetype heldBytes() const { return m_window.heldBytes() + m_text.capacity() * 2; }

private:
    Verdict verify(qint64 at, FieldDecoder &decoder, TextMatcher &matcher);

    const QString &m_keyword;
    const qsizetype m_history;
    JoinedWindow m_window;
    std::optional<QByteArray> m_needle;
    std::optional<QByteArray> m_rarest;
    qint64 m_scanFrom = 0;
    int m_candidates = 0;
    QString m_text; // scratch for decoding around a candidate
};

} // namespace search
