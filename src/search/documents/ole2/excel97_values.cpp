#include "search/documents/ole2/excel97_values.h"

#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace documents {

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
