#include "search/core/byte_scan.h"

#include "search/core/byte_prefilter.h"
#include "search/core/field_decoder.h"
#include "search/core/report.h"
#include "search/core/text_matcher.h"

#include <algorithm>

namespace search {

namespace {

// Decoding from a point this many joined bytes before a byte match yields at least the
// characters the excerpt shows before it (a character takes at most 4 bytes).
constexpr qint64 kLeadMargin = 4 * kExcerptLead + 24;

} // namespace

ByteScan::ByteScan(const QString &keyword, qsizetype history)
    : m_keyword(keyword), m_history(std::max<qsizetype>(history, 4 * keyword.size() + 256))
{}

void ByteScan::setNeedle(std::optional<QByteArray> needle)
{
    m_needle = std::move(needle);
}

ByteScan::Verdict ByteScan::scan(FieldDecoder &decoder, TextMatcher &matcher)
{
    if (!m_needle) {
        m_window.trim(m_history);
        return Verdict::NoHitYet;
    }
    const qsizetype n = m_needle->size();
    qint64 from = std::max(m_scanFrom, m_window.begin());
    for (;;) {
        const char *hit =
            BytePrefilter::find(m_window.at(from), m_window.at(m_window.end()), *m_needle);
        if (!hit)
            break;
        const qint64 at = m_window.begin() + (hit - m_window.at(m_window.begin()));
        ++m_candidates;
        const Verdict verdict = verify(at, decoder, matcher);
        if (verdict != Verdict::NoHitYet)
            return verdict;
        from = at + 1;
    }
    m_scanFrom = std::max<qint64>(from, m_window.end() - (n - 1));
    m_window.trim(m_history);
    m_scanFrom = std::max(m_scanFrom, m_window.begin());
    return Verdict::NoHitYet;
}

ByteScan::Verdict ByteScan::verify(qint64 at, FieldDecoder &decoder, TextMatcher &matcher)
{
    // Decode from a place far enough before the match for the excerpt's lead.
    const std::optional<qint64> start = m_window.decodeStart(at - kLeadMargin, decoder.encoding());
    if (!start)
        return Verdict::Restart;

    const qint64 matchEnd = at + m_needle->size();
    m_text.resize(0);
    decoder.reset();
    m_window.decode(*start, matchEnd, false, decoder, m_text);
    if (!m_text.endsWith(m_keyword))
        return Verdict::NoHitYet; // bytes out of step with the characters
    const qsizetype before = m_text.size() - m_keyword.size();
    if (before < kExcerptLead && *start != 0)
        return Verdict::Restart;

    // A hit: decode the rest of the window, only to complete the excerpt.
    matcher.beginCollecting(QStringView(m_text).mid(std::max<qsizetype>(before - kExcerptLead, 0)));
    if (!matcher.complete()) {
        m_text.resize(0);
        m_window.decode(matchEnd, m_window.end(), true, decoder, m_text);
        matcher.feed(m_text);
    }
    return Verdict::Hit;
}

} // namespace search
