#include "search/cells/cell_formats.h"

namespace cells {

QString builtInFormatCode(int id)
{
    // The formats of every language, then the ones of Chinese (PRC) Excel for the numbers whose
    // meaning depends on the language.
    switch (id) {
    case 1:
        return QStringLiteral("0");
    case 2:
        return QStringLiteral("0.00");
    case 3:
        return QStringLiteral("#,##0");
    case 4:
        return QStringLiteral("#,##0.00");
    case 5:
        return QStringLiteral(u"\"¥\"#,##0;\"¥\"\\-#,##0");
    case 6:
        return QStringLiteral(u"\"¥\"#,##0;[Red]\"¥\"\\-#,##0");
    case 7:
        return QStringLiteral(u"\"¥\"#,##0.00;\"¥\"\\-#,##0.00");
    case 8:
        return QStringLiteral(u"\"¥\"#,##0.00;[Red]\"¥\"\\-#,##0.00");
    case 9:
        return QStringLiteral("0%");
    case 10:
        return QStringLiteral("0.00%");
    case 11:
        return QStringLiteral("0.00E+00");
    case 12:
        return QStringLiteral("# ?/?");
    case 13:
        return QStringLiteral("# ?\?/??");
    case 14:
        return QStringLiteral("yyyy/m/d");
    case 15:
        return QStringLiteral("d-mmm-yy");
    case 16:
        return QStringLiteral("d-mmm");
    case 17:
        return QStringLiteral("mmm-yy");
    case 18:
        return QStringLiteral("h:mm AM/PM");
    case 19:
        return QStringLiteral("h:mm:ss AM/PM");
    case 20:
        return QStringLiteral("h:mm");
    case 21:
        return QStringLiteral("h:mm:ss");
    case 22:
        return QStringLiteral("yyyy/m/d h:mm");
    case 27:
    case 36:
    case 50:
    case 52:
    case 57:
        return QStringLiteral(u"yyyy\"年\"m\"月\"");
    case 28:
    case 29:
    case 51:
    case 53:
    case 54:
    case 58:
        return QStringLiteral(u"m\"月\"d\"日\"");
    case 30:
        return QStringLiteral("m-d-yy");
    case 31:
        return QStringLiteral(u"yyyy\"年\"m\"月\"d\"日\"");
    case 32:
        return QStringLiteral(u"h\"时\"mm\"分\"");
    case 33:
        return QStringLiteral(u"h\"时\"mm\"分\"ss\"秒\"");
    case 34:
    case 55:
        return QStringLiteral(u"上午/下午h\"时\"mm\"分\"");
    case 35:
    case 56:
        return QStringLiteral(u"上午/下午h\"时\"mm\"分\"ss\"秒\"");
    case 37:
        return QStringLiteral("#,##0 ;(#,##0)");
    case 38:
        return QStringLiteral("#,##0 ;[Red](#,##0)");
    case 39:
        return QStringLiteral("#,##0.00;(#,##0.00)");
    case 40:
        return QStringLiteral("#,##0.00;[Red](#,##0.00)");
    case 41:
        return QStringLiteral("_-* #,##0_-;-* #,##0_-;_-* \"-\"_-;_-@_-");
    case 42:
        return QStringLiteral(u"_-\"¥\"* #,##0_-;-\"¥\"* #,##0_-;_-\"¥\"* \"-\"_-;_-@_-");
    case 43:
        return QStringLiteral("_-* #,##0.00_-;-* #,##0.00_-;_-* \"-\"??_-;_-@_-");
    case 44:
        return QStringLiteral(u"_-\"¥\"* #,##0.00_-;-\"¥\"* #,##0.00_-;_-\"¥\"* \"-\"??_-;_-@_-");
    case 45:
        return QStringLiteral("mm:ss");
    case 46:
        return QStringLiteral("[h]:mm:ss");
    case 47:
        return QStringLiteral("mm:ss.0");
    case 48:
        return QStringLiteral("##0.0E+0");
    default:
        return QString(); // 0 (General), 49 (@) and the numbers no format has
    }
}

QStringView charactersFormatsWrite()
{
    return u"年月日时分秒上午下¥星期周一二三四五六七八九十";
}

void CellFormats::addFormat(int id, QStringView code)
{
    m_codes.insert(id, code.toString());
    m_slots.clear();
}

void CellFormats::addStyle(int formatId)
{
    m_styles.append(formatId);
}

void CellFormats::settle()
{
    QHash<int, qint32> slotOfFormat;
    m_slots.clear();
    m_formats.clear();
    m_slots.reserve(m_styles.size());
    for (const int id : std::as_const(m_styles)) {
        auto found = slotOfFormat.constFind(id);
        if (found == slotOfFormat.cend()) {
            const auto code = m_codes.constFind(id);
            const NumberFormat format(code != m_codes.cend() ? *code : builtInFormatCode(id));
            qint32 slot = -1;
            if (!format.isGeneral()) {
                slot = qint32(m_formats.size());
                m_formats.append(format);
            }
            found = slotOfFormat.insert(id, slot);
        }
        m_slots.append(*found);
    }
}

} // namespace cells
