#pragma once

#include <QString>

namespace search {

// Finds the first occurrence of a keyword in a text that arrives in pieces, and collects the
// excerpt of the hit entry: the characters from 10 before the occurrence (or from the first
// character, when it lies within the first 10), at most 30 of them. Memory does not grow with
// the text: only the last characters that a later occurrence's excerpt may need are kept.
//
// Any source of search text can feed it: the fields of a byte-encoded file as they are decoded,
// the text of a UTF-16 file, the text of a document.
class TextMatcher
{
public:
    // Starts over with `keyword`. An empty keyword is present at position 1 of any text.
    void begin(const QString &keyword);

    // The occurrence was found by other means; `excerpt` holds the excerpt up to the end of the
    // text seen so far, and further pieces only complete it.
    void beginCollecting(QStringView excerpt);

    // The next piece of the search text.
    void feed(QStringView text);

    bool found() const { return m_found; }
    // True once the excerpt holds all it can: nothing fed from now on changes the answer.
    bool complete() const { return m_complete; }
    const QString &excerpt() const { return m_excerpt; }

private:
    void collect(QStringView text);

    QString m_keyword;
    QString m_tail; // the last characters seen, enough for the excerpt of a later occurrence
    qint64 m_seen = 0;
    qsizetype m_tailLimit = 0;
    QString m_excerpt;
    bool m_found = false;
    bool m_complete = false;
};

} // namespace search
