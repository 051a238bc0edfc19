#include "search/documents/placed_text.h"

#include "search/ocr/ocr.h"

#include <array>

namespace documents {

namespace {

constexpr char16_t kFirstRadical = 0x2E80; // CJK Radicals Supplement
constexpr char16_t kLastRadical = 0x2FDF;  // the end of Kangxi Radicals

// The simplified radicals of the Supplement block and the ideographs Unicode's CJKRadicals.txt
// gives for them: whole characters of simplified Chinese that some fonts map to the radical.
struct Simplified
{
    char16_t radical;
    char16_t ideograph;
};
constexpr Simplified kSimplified[] = {
    {0x2EA6, 0x4E2C}, {0x2EB0, 0x7E9F}, {0x2EC5, 0x89C1}, {0x2EC8, 0x8BA0}, {0x2EC9, 0x8D1D},
    {0x2ECB, 0x8F66}, {0x2ED0, 0x9485}, {0x2ED3, 0x957F}, {0x2ED4, 0x95E8}, {0x2ED9, 0x97E6},
    {0x2EDA, 0x9875}, {0x2EDB, 0x98CE}, {0x2EDC, 0x98DE}, {0x2EE0, 0x9963}, {0x2EE2, 0x9A6C},
    {0x2EE5, 0x9C7C}, {0x2EE6, 0x9E1F}, {0x2EE7, 0x5364}, {0x2EE8, 0x9EA6}, {0x2EE9, 0x9EC4},
    {0x2EEA, 0x9EFE}, {0x2EEB, 0x6589}, {0x2EEC, 0x9F50}, {0x2EED, 0x6B6F}, {0x2EEE, 0x9F7F},
    {0x2EEF, 0x7ADC}, {0x2EF0, 0x9F99}, {0x2EF2, 0x4E80}, {0x2EF3, 0x9F9F},
};

using RadicalTable = std::array<char16_t, kLastRadical - kFirstRadical + 1>;

// The ideograph each radical is read as, 0 for those kept: the compatibility decompositions
// (every Kangxi radical has one, and ⺟ and ⻳ of the Supplement), then the simplified radicals.
const RadicalTable &radicals()
{
    static const RadicalTable table = [] {
        RadicalTable made{};
        for (char32_t c = kFirstRadical; c <= kLastRadical; ++c) {
            if (QChar::decompositionTag(c) != QChar::Compat)
                continue;
            const QString ideograph = QChar::decomposition(c);
            if (ideograph.size() == 1)
                made[c - kFirstRadical] = ideograph.front().unicode();
        }
        for (const Simplified &simplified : kSimplified) {
            if (made[simplified.radical - kFirstRadical] == 0)
                made[simplified.radical - kFirstRadical] = simplified.ideograph;
        }
        return made;
    }();
    return table;
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == 0x00A0 || c == 0x3000;
}

// The character that ends before `at`, or 0 at the start.
char32_t before(const char16_t *s, qsizetype at)
{
    if (at == 0)
        return 0;
    const char16_t last = s[at - 1];
    if (QChar::isLowSurrogate(last) && at >= 2 && QChar::isHighSurrogate(s[at - 2]))
        return QChar::surrogateToUcs4(s[at - 2], last);
    return last;
}

// The character that starts at `at`, or 0 at the end.
char32_t after(const char16_t *s, qsizetype size, qsizetype at)
{
    if (at >= size)
        return 0;
    const char16_t first = s[at];
    if (QChar::isHighSurrogate(first) && at + 1 < size && QChar::isLowSurrogate(s[at + 1]))
        return QChar::surrogateToUcs4(first, s[at + 1]);
    return first;
}

// The end of the run of white space that starts at `at`.
qsizetype blankEnd(const char16_t *s, qsizetype size, qsizetype at)
{
    while (at < size && isBlank(s[at]))
        ++at;
    return at;
}

bool isDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

// Whether the white space from `start` to `end` goes: between two CJK characters, or a CJK
// character and a digit.
bool dropped(const char16_t *s, qsizetype size, qsizetype start, qsizetype end)
{
    const char32_t left = before(s, start);
    const char32_t right = after(s, size, end);
    return (isCjk(left) && (isCjk(right) || isDigit(right))) || (isDigit(left) && isCjk(right));
}

} // namespace

bool isCjk(char32_t c)
{
    // The ideographic space is white space here, one of the blanks dropped between them.
    return c != 0x3000 && ocr::isCjk(c);
}

QList<QByteArray> radicalsReadAs(char32_t ideograph)
{
    QList<QByteArray> forms;
    const RadicalTable &table = radicals();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i] != 0 && table[i] == ideograph)
            forms.append(QString(QChar(char16_t(kFirstRadical + i))).toUtf8());
    }
    return forms;
}

QString placedText(const QString &text)
{
    const auto *s = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    const RadicalTable &table = radicals();
    const auto radical = [&table](char16_t c) {
        return c >= kFirstRadical && c <= kLastRadical ? table[c - kFirstRadical] : char16_t(0);
    };
    // Most text needs neither rule: it is returned as it is, without a copy.
    qsizetype i = 0;
    for (; i < size; ++i) {
        if (radical(s[i]) != 0)
            break;
        if (isBlank(s[i])) {
            const qsizetype end = blankEnd(s, size, i);
            if (dropped(s, size, i, end))
                break;
            i = end - 1;
        }
    }
    if (i == size)
        return text;

    QString out;
    out.reserve(size);
    out.append(QStringView(s, i));
    while (i < size) {
        if (isBlank(s[i])) {
            const qsizetype end = blankEnd(s, size, i);
            if (!dropped(s, size, i, end))
                out.append(QStringView(s + i, end - i));
            i = end;
            continue;
        }
        const char16_t ideograph = radical(s[i]);
        out.append(QChar(ideograph != 0 ? ideograph : s[i]));
        ++i;
    }
    return out;
}

} // namespace documents
