#pragma once

#include "search/cells/number_format.h"

#include <QHash>
#include <QList>
#include <QString>

namespace cells {

// The code of a built-in number format that workbooks name by number only, as Excel in Chinese
// shows it (14 is yyyy/m/d, 31 yyyy"年"m"月"d"日", 5 to 8 are yuan); empty for General and for
// numbers that name no built-in format.
QString builtInFormatCode(int id);

// The non-ASCII characters number formats write of their own, which no part of a workbook need
// hold: those of the built-in Chinese formats (年, 上午, ¥ ...) and of the Chinese names of months
// and weekdays (四月, 星期三).
QStringView charactersFormatsWrite();

// The number formats of one workbook: the codes it declares, the format of each of its cell
// styles (xlsx cellXfs, xls XF records) in order, and its date system. Each code is read once,
// when a cell first shows a number in it.
class CellFormats
{
public:
    void setDateSystem(DateSystem dates) { m_dates = dates; }
    // A format code the workbook declares under `id` (in place of a built-in one).
    void addFormat(int id, QStringView code);
    // The next cell style, which shows numbers in the format `formatId`.
    void addStyle(int formatId);

    // The format of the style `style`; null where numbers show as General (the caller writes
    // them as it always does).
    const NumberFormat *format(qsizetype style)
    {
        if (style < 0 || style >= m_styles.size())
            return nullptr;
        if (m_slots.size() != m_styles.size())
            settle();
        const qint32 slot = m_slots[style];
        return slot < 0 ? nullptr : &m_formats[slot];
    }
    DateSystem dateSystem() const { return m_dates; }

    // The text a cell of the style `style` shows for `value`; a null string for General.
    QString text(qsizetype style, double value)
    {
        const NumberFormat *shown = format(style);
        return shown ? shown->format(value, m_dates) : QString();
    }

private:
    void settle();

    DateSystem m_dates = DateSystem::From1900;
    QHash<int, QString> m_codes;
    QList<int> m_styles;           // the format of each style
    QList<qint32> m_slots;         // of each style, its place in m_formats, -1 for General
    QList<NumberFormat> m_formats; // one for each format in use
};

} // namespace cells
