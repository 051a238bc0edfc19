#include "search/documents/ole2/excel97_values.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace documents {

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

double rkValue(quint32 rk)
{
    double value;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return rk & 0x01 ? value / 100 : value;
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00:
        return u"#NULL!"_s;
    case 0x07:
        return u"#DIV/0!"_s;
    case 0x0F:
        return u"#VALUE!"_s;
    case 0x17:
        return u"#REF!"_s;
    case 0x1D:
        return u"#NAME?"_s;
    case 0x24:
        return u"#NUM!"_s;
    case 0x2A:
        return u"#N/A"_s;
    default:
        return QString();
    }
}

QString booleanText(quint8 value)
{
    return value ? u"1"_s : u"0"_s;
}

QStringDecoder decoderForCodePage(quint16 codePage)
{
    QByteArray name;
    switch (codePage) {
    case 932:
        name = "Shift_JIS";
        break;
    case 936:
        name = "GBK";
        break;
    case 949:
        name = "EUC-KR";
        break;
    case 950:
        name = "Big5";
        break;
    case 10000:
    case 32768:
        name = "macintosh";
        break;
    default:
        name = codePage == 874 || (codePage >= 1250 && codePage <= 1258)
                   ? "windows-" + QByteArray::number(codePage)
                   : QByteArray("windows-1252");
        break;
    }
    QStringDecoder decoder(name.constData());
    return decoder.isValid() ? std::move(decoder) : QStringDecoder(QStringDecoder::Latin1);
}

} // namespace documents
