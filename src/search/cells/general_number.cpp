#include "search/cells/general_number.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace cells {

QString generalNumberText(double value)
{
    if (value == 0)
        return u"0"_s;
    if (!std::isfinite(value))
        return u"#NUM!"_s;
    // 15 significant digits, as d.dddddddddddddde+xx. Where rounding to them leaves the range of
    // normal numbers (the largest numbers, subnormal ones), the shortest digits that read back
    // as the value instead.
    char digits[40];
    std::snprintf(digits, sizeof digits, "%.14e", value);
    const double rounded = std::strtod(digits, nullptr);
    if (!std::isfinite(rounded) || std::fabs(value) < DBL_MIN) {
        for (int precision = 0; precision < 17; ++precision) {
            std::snprintf(digits, sizeof digits, "%.*e", precision, value);
            if (std::strtod(digits, nullptr) == value)
                break;
        }
    }
    char *exponentAt = std::strchr(digits, 'e');
    const int exponent = std::atoi(exponentAt + 1);
    const auto withoutTrailingZeros = [](QString text) {
        if (text.contains(u'.')) {
            while (text.endsWith(u'0'))
                text.chop(1);
            if (text.endsWith(u'.'))
                text.chop(1);
        }
        return text;
    };
    if (std::fabs(rounded) > 1e15 || exponent < -14) {
        const QString mantissa =
            withoutTrailingZeros(QString::fromLatin1(digits, exponentAt - digits));
        return mantissa + u'E' + (exponent < 0 ? u'-' : u'+') +
               QString::number(std::abs(exponent)).rightJustified(3, u'0');
    }
    // Fixed notation with the digits that are significant, never more than 20 decimals. The
    // integer part is written whole, also past 15 digits.
    char fixed[64];
    std::snprintf(fixed, sizeof fixed, "%.*f", std::clamp(14 - exponent, 0, 20), value);
    return withoutTrailingZeros(QString::fromLatin1(fixed));
}

} // namespace cells
