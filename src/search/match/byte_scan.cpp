#include "search/match/byte_scan.h"

#include "platform/core/byte_find.h"
#include "platform/core/text_encoding.h"
#include "search/match/byte_prefilter.h"
#include "search/match/field_decoder.h"
#include "search/match/match_test.h"
#include "search/match/text_matcher.h"

#include <algorithm>
#include <cstring>

namespace search {

namespace {

// Decoding from a point this many joined bytes before a byte match yields at least the
// characters the excerpt shows before it (a character takes at most 4 bytes).
constexpr qint64 kLeadMargin = 4 * kExcerptLead + 24;

} // namespace

ByteScan::ByteScan(const QString &keyword, qsizetype history)
    : m_keyword(keyword), m_history(std::max<qsizetype>(history, 4 * keyword.size() + 256))
{}

void ByteScan::setNeedle(std::optional<QByteArray> needle, std::optional<QByteArray> rarest)
{
    m_needle = std::move(needle);
    m_rarest = std::move(rarest);
}

std::optional<ByteScan::Resume> ByteScan::skipTo(const char *begin, const char *end,
                                                 platform::FieldState state,
                                                 std::optional<platform::TextEncoding> encoding)
{
    if (m_needle && !m_rarest)
        return std::nullopt;
    // Joined bytes that must follow the place: the excerpt's lead and a whole occurrence.
    const qsizetype needle = m_needle ? m_needle->size() : 4 * m_keyword.size();
    const qsizetype wanted = 4 * needle + 2 * kLeadMargin + 64;
    if (end - begin < 4 * wanted)
        return std::nullopt;
    if (m_needle) {
        if (platform::findBytes(begin, end, *m_rarest))
            return std::nullopt;
        // An occurrence that began in the joined bytes would hold the rarest character in their
        // last needle - 1 bytes, or the first bytes of it at their very end when the character
        // lies across the edge of the chunks.
        const qint64 tail = std::max<qint64>(m_window.end() - (needle - 1), m_window.begin());
        for (const char *p = m_window.at(tail), *last = m_window.at(m_window.end()); p < last;
             ++p) {
            const size_t n = size_t(std::min<qsizetype>(m_rarest->size(), last - p));
            if (std::memcmp(p, m_rarest->constData(), n) == 0)
                return std::nullopt;
        }
    }

    const auto isDelimiter = [](char c) { return c == ',' || c == '\r' || c == '\n'; };
    // Back from the end until surely `wanted` bytes reach the joined text (delimiters, quotes
    // and spaces may not).
    const char *limit = end;
    qsizetype counted = 0;
    while (limit > begin && counted < wanted) {
        --limit;
        if (!isDelimiter(*limit) && *limit != ' ' && *limit != '"')
            ++counted;
    }
    const platform::FieldSkim skim = platform::skimFields(begin, limit, state);
    if (skim.fieldEnd)
        return Resume{skim.fieldEnd, platform::FieldState::Start, skim.fieldEnd[-1] == '\r'};

    // No field ended: at `reached` the cutter may be inside a field that began before it. Its
    // content runs back to its opening quote, or for an unquoted field to a delimiter, a quote
    // or (when it ran on from before `begin`) further; the place must lie inside that content.
    const platform::FieldState inside = skim.stateAtReached;
    if (!encoding || inside == platform::FieldState::Start)
        return std::nullopt;
    const bool unquoted = inside == platform::FieldState::Unquoted;
    const auto endsContent = [&](char c) { return c == '"' || (unquoted && isDelimiter(c)); };
    for (const char *p = skim.reached; p > begin && !endsContent(p[-1]); --p) {
        if (!platform::startsCharacter(p, p - begin, *encoding))
            continue;
        // Spaces an unquoted field begins with are skipped, not content: the place needs content
        // before it, or the field must have begun before `begin`.
        const char *q = p;
        while (unquoted && q > begin && q[-1] == ' ')
            --q;
        const bool contentBefore = q > begin ? !endsContent(q[-1]) : state == inside;
        if (!contentBefore)
            return std::nullopt;
        return Resume{p, inside, false};
    }
    return std::nullopt;
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
            platform::findBytes(m_window.at(from), m_window.at(m_window.end()), *m_needle);
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
    if (decoder.pending()) {
        // The match ends in a lead byte and a digit (a keyword ending in a digit): whether the
        // digit is a character of its own depends on the two bytes after it, which may complete
        // a four-byte sequence. Not joined yet: decode the file instead.
        if (matchEnd + 2 > m_window.end())
            return Verdict::Restart;
        const auto *next = reinterpret_cast<const uchar *>(m_window.at(matchEnd));
        const bool completes = !m_window.fieldBeginsIn(matchEnd, matchEnd + 1) && next[0] >= 0x81 &&
                               next[0] <= 0xFE && next[1] >= 0x30 && next[1] <= 0x39;
        if (completes)
            return Verdict::NoHitYet;
        decoder.endField(m_text); // what the bytes read as before bytes that do not complete them
    }
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
