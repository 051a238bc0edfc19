#include "search/match/text_matcher.h"

#include "search/match/match_test.h"

#include <algorithm>

namespace search {

void TextMatcher::begin(const QString &keyword)
{
    m_keyword = keyword;
    m_tail.clear();
    m_seen = 0;
    m_excerpt.clear();
    m_found = keyword.isEmpty();
    m_complete = false;
    m_tailLimit = kExcerptLead + std::max<qsizetype>(keyword.size() - 1, 0);
}

void TextMatcher::beginCollecting(QStringView excerpt)
{
    m_found = true;
    m_complete = false;
    m_excerpt.clear();
    collect(excerpt);
}

void TextMatcher::feed(QStringView text)
{
    if (m_complete || text.isEmpty())
        return;
    if (m_found) {
        collect(text);
        return;
    }
    const QStringView keyword(m_keyword);
    const qsizetype k = keyword.size();
    qint64 start = -1;
    if (k > 1 && !m_tail.isEmpty()) {
        // Occurrences that begin in the kept tail and end in this piece.
        const QString joined = m_tail + text.left(k - 1);
        const qsizetype at = joined.indexOf(keyword);
        if (at >= 0)
            start = m_seen - m_tail.size() + at;
    }
    if (start < 0) {
        const qsizetype at = text.indexOf(keyword);
        if (at >= 0)
            start = m_seen + at;
    }
    if (start >= 0) {
        m_found = true;
        const qint64 from = std::max<qint64>(start - kExcerptLead, 0);
        if (from < m_seen) {
            collect(QStringView(m_tail).mid(from - (m_seen - m_tail.size())));
            collect(text);
        } else {
            collect(text.mid(from - m_seen));
        }
        return;
    }
    if (text.size() >= m_tailLimit) {
        m_tail = text.right(m_tailLimit).toString();
    } else {
        m_tail += text;
        if (m_tail.size() > m_tailLimit)
            m_tail.remove(0, m_tail.size() - m_tailLimit);
    }
    m_seen += text.size();
}

void TextMatcher::collect(QStringView text)
{
    m_excerpt += text.left(kExcerptLength - m_excerpt.size());
    m_complete = m_excerpt.size() >= kExcerptLength;
}

} // namespace search
