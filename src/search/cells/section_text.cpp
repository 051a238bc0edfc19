#include "search/cells/general_number.h"
#include "search/cells/number_format.h"

#include <QDate>
#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace cells {

namespace {

using Kind = NumberFormat::Kind;
using Token = NumberFormat::Token;
using Section = NumberFormat::Section;

// A non-negative number as decimal digits: 0.d1d2d3... times 10^point. The digits are the 15
// significant ones the office suites work with, so rounding is done on what the user sees
// (2.675 at two decimals is 2.68, not the 2.67 its binary value would give).
struct Decimal
{
    char digits[20]; // without trailing zeros
    int size = 0;
    int point = 0;

    Decimal(double value, int shift)
    {
        if (value == 0)
            return;
        // d.dddddddddddddde+xx; to_chars is several times faster than printf here, which
        // counts where every cell of a large sheet is formatted.
        char text[32];
        const char *end =
            std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 14).ptr;
        const char *e = std::find<const char *>(text, end, 'e');
        digits[size++] = text[0];
        for (const char *c = text + 2; c < e; ++c)
            digits[size++] = *c;
        while (size > 0 && digits[size - 1] == '0')
            --size;
        int exponent = 0;
        std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
        point = exponent + 1 + shift;
    }

    void round(int decimals)
    {
        const int keep = point + decimals;
        if (keep >= size)
            return;
        const bool up = keep >= 0 && digits[keep] >= '5';
        size = std::max(keep, 0);
        if (!up) {
            if (size == 0)
                point = 0;
            return;
        }
        int i = size - 1;
        while (i >= 0 && digits[i] == '9')
            --i;
        if (i < 0) { // 9.99 up to 10: one digit, one place more
            digits[0] = '1';
            size = 1;
            ++point;
        } else {
            ++digits[i];
            size = i + 1;
        }
    }

    int integerSize() const { return std::max(point, 0); }
    // The digit `i` places after the first one (zeros past the significant ones).
    char digit(int i) const { return i >= 0 && i < size ? digits[i] : '0'; }
    char fractionDigit(int j) const { return point + j >= 0 ? digit(point + j) : '0'; }
};

// The digits of `value` through the placeholders of tokens [from, to): those before the point
// take the integer right to left (the first one takes the digits left over), those after it the
// decimals left to right (trailing zeros at # and ? dropped or blank).
void writeDigits(const Section &section, qsizetype from, qsizetype to, Decimal value, QString &out)
{
    qsizetype point = to;
    int decimals = 0;
    qsizetype firstDigit = -1;
    for (qsizetype k = from; k < to; ++k) {
        const Kind kind = section.tokens[k].kind;
        if (kind == Kind::Point && point == to)
            point = k;
        else if (kind == Kind::Digit && point != to)
            ++decimals;
        else if (kind == Kind::Digit && firstDigit < 0)
            firstDigit = k;
    }
    value.round(decimals);

    QVarLengthArray<QChar, 64> reversed;
    int remaining = value.integerSize();
    int placed = 0;
    const auto put = [&](char digit) {
        if (section.grouping && placed > 0 && placed % 3 == 0)
            reversed.append(u',');
        reversed.append(QLatin1Char(digit));
        ++placed;
    };
    // With no placeholder before the point (.00), the integer stands just before it.
    while (firstDigit < 0 && remaining > 0)
        put(value.digit(--remaining));
    for (qsizetype k = point - 1; k >= from; --k) {
        const Token &t = section.tokens[k];
        if (t.kind == Kind::Digit) {
            if (remaining > 0)
                put(value.digit(--remaining));
            else if (t.mark == u'0')
                put('0');
            else if (t.mark == u'?')
                reversed.append(u' ');
            while (k == firstDigit && remaining > 0)
                put(value.digit(--remaining));
        } else if (t.kind == Kind::Literal) {
            for (qsizetype c = t.text.size() - 1; c >= 0; --c)
                reversed.append(t.text[c]);
        } else if (t.kind == Kind::Percent) {
            reversed.append(u'%');
        }
    }
    std::reverse(reversed.begin(), reversed.end());
    out.append(reversed.constData(), reversed.size());

    // The decimals shown: up to the last one that is not a zero or stands at a 0.
    int shown = decimals;
    for (qsizetype k = to - 1, j = decimals - 1; k > point && j >= 0; --k) {
        const Token &t = section.tokens[k];
        if (t.kind != Kind::Digit)
            continue;
        if (t.mark == u'0' || value.fractionDigit(int(j)) != '0')
            break;
        shown = int(j--);
    }
    QVarLengthArray<QChar, 64> tail;
    int j = 0;
    for (qsizetype k = point; k < to; ++k) {
        const Token &t = section.tokens[k];
        if (t.kind == Kind::Point) {
            tail.append(u'.');
        } else if (t.kind == Kind::Digit) {
            if (j < shown)
                tail.append(QLatin1Char(value.fractionDigit(j)));
            else if (t.mark == u'?')
                tail.append(u' ');
            ++j;
        } else if (t.kind == Kind::Literal) {
            tail.append(t.text.constData(), t.text.size());
        } else if (t.kind == Kind::Percent) {
            tail.append(u'%');
        }
    }
    out.append(tail.constData(), tail.size());
}

QString numberText(const Section &section, double value, QString out)
{
    const QList<Token> &tokens = section.tokens;
    qsizetype exponentAt = tokens.size();
    for (qsizetype k = 0; k < tokens.size(); ++k) {
        if (tokens[k].kind == Kind::Exponent) {
            exponentAt = k;
            break;
        }
    }
    const Decimal decimal(value, section.shift);
    if (exponentAt == tokens.size()) {
        writeDigits(section, 0, tokens.size(), decimal, out);
        return out;
    }
    // Scientific: as many integer digits as the mantissa has placeholders before its point;
    // with # among several, the exponent is a multiple of their count (##0.0E+0: engineering).
    int integerDigits = 0;
    int decimals = 0;
    bool hash = false;
    bool afterPoint = false;
    for (qsizetype k = 0; k < exponentAt; ++k) {
        afterPoint = afterPoint || tokens[k].kind == Kind::Point;
        if (tokens[k].kind == Kind::Digit) {
            (afterPoint ? decimals : integerDigits) += 1;
            hash = hash || (!afterPoint && tokens[k].mark == u'#');
        }
    }
    const int step = hash && integerDigits > 1 ? integerDigits : 1;
    const int lead = step > 1 ? 1 : std::max(integerDigits, 1);
    int exponent = 0;
    Decimal mantissa = decimal;
    if (decimal.size > 0) {
        const int magnitude = decimal.point - 1;
        exponent =
            step > 1 ? int(std::floor(double(magnitude) / step)) * step : magnitude - (lead - 1);
        mantissa.point -= exponent;
        Decimal rounded = mantissa;
        rounded.round(decimals);
        if (rounded.point > (step > 1 ? step : lead)) {
            exponent += step;
            mantissa.point -= step;
        }
    }
    writeDigits(section, 0, exponentAt, mantissa, out);
    const char16_t sign = tokens[exponentAt].mark;
    out.append(u'E');
    if (exponent < 0 || sign == u'+')
        out.append(exponent < 0 ? u'-' : u'+');
    int width = 0;
    qsizetype k = exponentAt + 1;
    for (; k < tokens.size() && tokens[k].kind == Kind::Digit; ++k)
        ++width;
    out.append(QString::number(std::abs(exponent)).rightJustified(width, u'0'));
    for (; k < tokens.size(); ++k) {
        if (tokens[k].kind == Kind::Literal)
            out.append(tokens[k].text);
    }
    return out;
}

const char16_t *const kChineseNumerals[] = {u"一", u"二", u"三", u"四", u"五",   u"六",
                                            u"七", u"八", u"九", u"十", u"十一", u"十二"};
const char *const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char *const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};
const char16_t kChineseDays[] = u"日一二三四五六";

// A month's or weekday's name as mmm (three letters), mmmmm (one) or in full shows it.
QLatin1StringView shortened(QLatin1StringView name, int count)
{
    return count == 3 ? name.first(3) : count == 5 ? name.first(1) : name;
}

// Day 1 of the largest serial number a date may have (9999-12-31 in the 1900 system).
constexpr double kLastSerial = 2958466;

QString dateText(const Section &section, double value, DateSystem dates)
{
    if (value >= kLastSerial)
        return QString();
    // The time is rounded to the precision shown, then every field is cut from it.
    qint64 perSecond = 1;
    for (int i = 0; i < section.subSecond; ++i)
        perSecond *= 10;
    const qint64 units = std::llround(value * 86400.0 * double(perSecond));
    const qint64 seconds = units / perSecond;
    const qint64 days = seconds / 86400;
    const int sub = int(units % perSecond);
    const int secondOfDay = int(seconds % 86400);
    int year, month, day, weekday;
    if (dates == DateSystem::From1900 && days == 60) {
        year = 1900, month = 2, day = 29;
    } else {
        const QDate date = dates == DateSystem::From1904 ? QDate(1904, 1, 1).addDays(days)
                           : days < 60                   ? QDate(1899, 12, 31).addDays(days)
                                                         : QDate(1899, 12, 30).addDays(days);
        year = date.year(), month = date.month(), day = date.day();
        if (dates == DateSystem::From1900 && days == 0)
            year = 1900, month = 1, day = 0; // Excel's day 0
    }
    weekday = dates == DateSystem::From1904 ? int((days + 5) % 7) : int((days + 6) % 7);
    int hour = secondOfDay / 3600;
    const bool afternoon = hour >= 12;
    if (section.twelveHour)
        hour = hour % 12 == 0 ? 12 : hour % 12;

    QString out;
    out.reserve(32);
    // Digits written straight into the text: a date is formatted for every cell of a column.
    const auto number = [&out](qint64 n, int width) {
        char16_t digits[24];
        int start = 24;
        do {
            digits[--start] = char16_t(u'0' + n % 10);
            n /= 10;
        } while (n > 0 && start > 4);
        while (24 - start < width && start > 0)
            digits[--start] = u'0';
        out.append(QStringView(digits + start, 24 - start));
    };
    for (const Token &t : section.tokens) {
        switch (t.kind) {
        case Kind::Year:
            t.count <= 2 ? number(year % 100, 2) : number(year, 4);
            break;
        case Kind::Month:
            if (t.count <= 2)
                number(month, t.count);
            else if (section.chinese) {
                if (t.count == 3)
                    out.append(QString::number(month));
                else
                    out.append(QStringView(kChineseNumerals[month - 1]));
                if (t.count != 5)
                    out.append(u'月');
            } else
                out.append(shortened(QLatin1StringView(kMonths[month - 1]), t.count));
            break;
        case Kind::Day:
            if (t.count <= 2)
                number(day, t.count);
            else if (section.chinese)
                out.append((t.count == 3 ? u"周" : u"星期") +
                           QString(QChar(kChineseDays[weekday])));
            else
                out.append(shortened(QLatin1StringView(kDays[weekday]), t.count));
            break;
        case Kind::Hour:
            number(hour, std::min(t.count, 2));
            break;
        case Kind::Minute:
            number(secondOfDay / 60 % 60, std::min(t.count, 2));
            break;
        case Kind::Second:
            number(secondOfDay % 60, std::min(t.count, 2));
            break;
        case Kind::SubSecond:
            out.append(u'.');
            number(sub, section.subSecond);
            break;
        case Kind::ElapsedHours:
            number(seconds / 3600, t.count);
            break;
        case Kind::ElapsedMinutes:
            number(seconds / 60, t.count);
            break;
        case Kind::ElapsedSeconds:
            number(seconds, t.count);
            break;
        case Kind::AmPm:
            out.append(section.chinese && t.text.startsWith(u'A', Qt::CaseInsensitive)
                           ? QStringView(afternoon ? u"下午" : u"上午").toString()
                           : t.text.mid(afternoon ? t.count : 0, t.count));
            break;
        case Kind::Literal:
            out.append(t.text);
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace

QString renderSection(const Section &section, double value, bool minus, DateSystem dates)
{
    if (section.date)
        return minus ? QString() : dateText(section, value, dates);
    if (section.fraction)
        return QString();
    QString out;
    out.reserve(32);
    if (minus)
        out.append(u'-');
    if (section.number)
        return numberText(section, value, out);
    // No digits: literals, and the value as General where the section says so.
    for (const Token &t : section.tokens) {
        if (t.kind == Kind::Literal)
            out.append(t.text);
        else if (t.kind == Kind::General || t.kind == Kind::Text)
            out.append(generalNumberText(value));
        else if (t.kind == Kind::Percent)
            out.append(u'%');
    }
    return out;
}

} // namespace cells
