#include "search/cells/number_format.h"

#include "search/cells/general_number.h"

#include <cmath>

namespace cells {

namespace {

using Kind = NumberFormat::Kind;
using Token = NumberFormat::Token;
using Section = NumberFormat::Section;
using Compare = NumberFormat::Compare;

bool isDateKind(Kind kind)
{
    return kind >= Kind::Year;
}

void appendLiteral(Section &section, QStringView text)
{
    if (!section.tokens.isEmpty() && section.tokens.last().kind == Kind::Literal)
        section.tokens.last().text.append(text);
    else
        section.tokens.append({Kind::Literal, 0, 0, text.toString()});
}

// The length of the run of `c` (either case) at `i`.
int runOf(QStringView code, qsizetype i, char16_t c)
{
    int n = 0;
    while (i + n < code.size() && code[i + n].toLower() == QChar(c))
        ++n;
    return n;
}

// What a [...] holds: a currency symbol and locale ([$¥-804]), a condition ([>=100]), elapsed
// time ([h], [mm], [ss]); colours ([Red], [Color10]) and digit styles ([DBNum1]) show nothing.
void readBracket(Section &section, QStringView content)
{
    if (content.startsWith(u'$')) {
        const qsizetype dash = content.indexOf(u'-');
        appendLiteral(section, content.mid(1, dash < 0 ? -1 : dash - 1));
        bool ok = false;
        const uint locale = dash < 0 ? 0 : content.mid(dash + 1).toUInt(&ok, 16) & 0xFFFF;
        // Chinese (PRC, Taiwan, Hong Kong, Singapore, Macao) names, unless the tag names
        // another language.
        if (ok && locale != 0)
            section.chinese = locale == 0x804 || locale == 0x404 || locale == 0xC04 ||
                              locale == 0x1004 || locale == 0x1404;
        return;
    }
    if (content.startsWith(u'<') || content.startsWith(u'>') || content.startsWith(u'=')) {
        static const struct
        {
            const char16_t *op;
            Compare compare;
        } operators[] = {{u"<=", Compare::LessEqual}, {u">=", Compare::GreaterEqual},
                         {u"<>", Compare::NotEqual},  {u"<", Compare::Less},
                         {u">", Compare::Greater},    {u"=", Compare::Equal}};
        for (const auto &o : operators) {
            if (content.startsWith(QStringView(o.op))) {
                bool ok = false;
                const double limit = content.mid(QStringView(o.op).size()).trimmed().toDouble(&ok);
                if (ok) {
                    section.compare = o.compare;
                    section.limit = limit;
                }
                return;
            }
        }
        return;
    }
    const QChar first = content.isEmpty() ? QChar() : content[0].toLower();
    if ((first == u'h' || first == u'm' || first == u's') &&
        runOf(content, 0, first.unicode()) == content.size()) {
        const Kind kind = first == u'h'   ? Kind::ElapsedHours
                          : first == u'm' ? Kind::ElapsedMinutes
                                          : Kind::ElapsedSeconds;
        section.tokens.append({kind, 0, int(content.size()), {}});
    }
}

Section readSection(QStringView code)
{
    Section section;
    qsizetype i = 0;
    const auto lastDateKind = [&section] {
        for (qsizetype k = section.tokens.size() - 1; k >= 0; --k) {
            if (isDateKind(section.tokens[k].kind))
                return section.tokens[k].kind;
        }
        return Kind::Literal;
    };
    while (i < code.size()) {
        const char16_t c = code[i].unicode();
        const char16_t lower = code[i].toLower().unicode();
        const QStringView rest = code.mid(i);
        if (c == u'"') {
            const qsizetype end = code.indexOf(u'"', i + 1);
            appendLiteral(section, code.mid(i + 1, (end < 0 ? code.size() : end) - i - 1));
            i = end < 0 ? code.size() : end + 1;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            // An escaped character; the blank as wide as a character; a character repeated to
            // fill the cell, which a text export leaves out.
            if (c == u'\\')
                appendLiteral(section, code.mid(i + 1, 1));
            else if (c == u'_')
                appendLiteral(section, u" ");
            i += 2;
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', i);
            if (end < 0)
                break;
            readBracket(section, code.mid(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == u'0' || c == u'#' || c == u'?') {
            section.tokens.append({Kind::Digit, c, 1, {}});
            ++i;
        } else if (c == u'.' && lastDateKind() == Kind::Second && runOf(code, i + 1, u'0') > 0) {
            const int n = runOf(code, i + 1, u'0');
            section.tokens.append({Kind::SubSecond, 0, n, {}});
            i += 1 + n;
        } else if (c == u'.' || c == u',' || c == u'%' || c == u'@') {
            section.tokens.append({c == u'.'   ? Kind::Point
                                   : c == u',' ? Kind::Comma
                                   : c == u'%' ? Kind::Percent
                                               : Kind::Text,
                                   c,
                                   1,
                                   {}});
            ++i;
        } else if (lower == u'e' && i + 1 < code.size() &&
                   (code[i + 1] == u'+' || code[i + 1] == u'-')) {
            section.tokens.append({Kind::Exponent, code[i + 1].unicode(), 1, {}});
            i += 2;
        } else if (rest.startsWith(u"general", Qt::CaseInsensitive)) {
            section.tokens.append({Kind::General, 0, 1, {}});
            i += 7;
        } else if (rest.startsWith(u"am/pm", Qt::CaseInsensitive)) {
            section.tokens.append({Kind::AmPm, 0, 2, rest.first(2) + rest.mid(3, 2)});
            i += 5;
        } else if (rest.startsWith(u"a/p", Qt::CaseInsensitive)) {
            section.tokens.append({Kind::AmPm, 0, 1, rest.first(1) + rest.mid(2, 1)});
            i += 3;
        } else if (rest.startsWith(u"上午/下午")) {
            section.tokens.append({Kind::AmPm, 0, 2, QStringLiteral(u"上午下午")});
            i += 5;
        } else if (lower == u'y' || lower == u'e' || lower == u'm' || lower == u'd' ||
                   lower == u'h' || lower == u's') {
            const int n = runOf(code, i, lower);
            const Kind kind = lower == u'm'   ? Kind::Month
                              : lower == u'd' ? Kind::Day
                              : lower == u'h' ? Kind::Hour
                              : lower == u's' ? Kind::Second
                                              : Kind::Year;
            section.tokens.append({kind, 0, lower == u'e' ? 4 : n, {}});
            i += n;
        } else {
            appendLiteral(section, code.mid(i, 1));
            ++i;
        }
    }
    return section;
}

// What the tokens mean together: m after h or before s is minutes; a comma between digits
// groups thousands, one after them divides by a thousand; the kind of section.
void settle(Section &section)
{
    QList<Token> &tokens = section.tokens;
    for (qsizetype k = 0; k < tokens.size(); ++k) {
        const Kind kind = tokens[k].kind;
        section.date = section.date || isDateKind(kind);
        section.twelveHour = section.twelveHour || kind == Kind::AmPm;
        if (kind == Kind::SubSecond)
            section.subSecond = std::min(tokens[k].count, 3);
        if (kind != Kind::Month || tokens[k].count > 2)
            continue;
        Kind before = Kind::Literal;
        Kind after = Kind::Literal;
        for (qsizetype j = k - 1; j >= 0 && before == Kind::Literal; --j)
            before = isDateKind(tokens[j].kind) ? tokens[j].kind : before;
        for (qsizetype j = k + 1; j < tokens.size() && after == Kind::Literal; ++j)
            after = isDateKind(tokens[j].kind) ? tokens[j].kind : after;
        if (before == Kind::Hour || before == Kind::ElapsedHours || after == Kind::Second ||
            after == Kind::ElapsedSeconds)
            tokens[k].kind = Kind::Minute;
    }
    for (qsizetype k = 0; k < tokens.size(); ++k) {
        Token &t = tokens[k];
        if (section.date && (t.kind == Kind::Digit || t.kind == Kind::Point ||
                             t.kind == Kind::Comma || t.kind == Kind::Percent)) {
            t = {Kind::Literal, 0, 0, QString(QChar(t.mark))};
        } else if (t.kind == Kind::Digit) {
            section.number = true;
        } else if (t.kind == Kind::Percent) {
            section.shift += 2;
        } else if (t.kind == Kind::Comma) {
            const bool digitBefore =
                k > 0 && (tokens[k - 1].kind == Kind::Digit || tokens[k - 1].kind == Kind::Comma);
            const bool digitAfter = k + 1 < tokens.size() && tokens[k + 1].kind == Kind::Digit;
            if (digitBefore && digitAfter)
                section.grouping = true;
            else if (digitBefore)
                section.shift -= 3;
            else
                t = {Kind::Literal, 0, 0, QStringLiteral(",")};
        } else if (t.kind == Kind::Literal && t.text.contains(u'/') && k > 0 &&
                   tokens[k - 1].kind == Kind::Digit && k + 1 < tokens.size() &&
                   tokens[k + 1].kind == Kind::Digit) {
            section.fraction = true;
        }
    }
}

bool holds(const Section &section, double value)
{
    switch (section.compare) {
    case Compare::None:
        return true;
    case Compare::Less:
        return value < section.limit;
    case Compare::LessEqual:
        return value <= section.limit;
    case Compare::Greater:
        return value > section.limit;
    case Compare::GreaterEqual:
        return value >= section.limit;
    case Compare::Equal:
        return value == section.limit;
    case Compare::NotEqual:
        return value != section.limit;
    }
    return true;
}

} // namespace

NumberFormat::NumberFormat(QStringView code)
{
    qsizetype start = 0;
    bool quoted = false;
    const auto addSection = [this](QStringView text) {
        m_sections.append(readSection(text));
        settle(m_sections.last());
    };
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (c == u'\\' && !quoted) {
            ++i;
        } else if (c == u';' && !quoted) {
            addSection(code.mid(start, i - start));
            start = i + 1;
        }
    }
    addSection(code.mid(std::min(start, code.size())));
    // The fourth section is for text; so is a last one that only shows the text (0.00;@).
    while (m_sections.size() > 3)
        m_sections.removeLast();
    if (m_sections.size() > 1 && !m_sections.last().number && !m_sections.last().date) {
        const QList<Token> &tokens = m_sections.last().tokens;
        if (std::any_of(tokens.begin(), tokens.end(),
                        [](const Token &t) { return t.kind == Kind::Text; }))
            m_sections.removeLast();
    }
    const QList<Token> &first = m_sections.first().tokens;
    m_general =
        m_sections.size() == 1 &&
        (first.isEmpty() ||
         (first.size() == 1 && (first[0].kind == Kind::General || first[0].kind == Kind::Text)));
}

QString NumberFormat::format(double value, DateSystem dates) const
{
    if (m_general || !std::isfinite(value))
        return generalNumberText(value);
    const Section *chosen = nullptr;
    bool minus = value < 0;
    if (m_sections[0].compare != Compare::None ||
        (m_sections.size() > 1 && m_sections[1].compare != Compare::None)) {
        for (qsizetype k = 0; k < m_sections.size() && !chosen; ++k) {
            if (holds(m_sections[k], value)) {
                chosen = &m_sections[k];
                // The second section stands for the negatives, as does one for values below
                // zero or less: their sign is the format's to show.
                minus = minus && k != 1 && chosen->compare != Compare::Less &&
                        chosen->compare != Compare::LessEqual;
            }
        }
        if (!chosen)
            return generalNumberText(value);
    } else if (m_sections.size() == 1 || value > 0 || (value == 0 && m_sections.size() == 2)) {
        chosen = &m_sections[0];
    } else {
        chosen = value < 0 ? &m_sections[1] : &m_sections[2];
        minus = false;
    }
    const QString text = renderSection(*chosen, std::fabs(value), minus, dates);
    return text.isNull() ? generalNumberText(value) : text;
}

} // namespace cells
