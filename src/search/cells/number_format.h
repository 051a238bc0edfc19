#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace cells {

// Where a workbook counts its date serial numbers from (a flag of the workbook).
enum class DateSystem {
    From1900, // 1 is 1900-01-01, and 60 the 29 February 1900 Lotus 1-2-3 believed in
    From1904, // 0 is 1904-01-01 (workbooks first saved by Excel for the Mac)
};

// A spreadsheet number format code ("#,##0.00", "0.00%", "yyyy\"年\"m\"月\"d\"日\"",
// "上午/下午h\"时\"mm\"分\"" ...), read once, and the text it shows for a number.
//
// Sections are separated by ';': positive, negative (shown without its sign), zero; a fourth is
// for text and never used for numbers. Conditions ([>=100]) choose the first section they hold
// for. Months, weekdays and AM/PM are named as Chinese Excel names them (4月, 四月, 星期三,
// 上午/下午) unless a locale tag names another language ([$-409]: Apr, April, Wednesday, AM).
// Colours and [DBNum] digit styles are left out (the digits stay Arabic); fractions ("# ?/?")
// are shown as General.
class NumberFormat
{
public:
    explicit NumberFormat(QStringView code);

    // True when numbers are shown as the General format shows them: the caller keeps its own
    // writing of such cells.
    bool isGeneral() const { return m_general; }

    QString format(double value, DateSystem dates) const;

    enum class Kind : quint8 {
        Literal,
        Digit, // 0, # or ? in `mark`
        Point,
        Comma, // until the section is read: grouping, scaling by 1000 or a literal
        Percent,
        Exponent, // E+ or E- (the sign in `mark`)
        General,
        Text,
        Year,
        Month,
        Day,
        Hour,
        Minute,
        Second,
        SubSecond, // `count` digits after ss.
        AmPm,      // `text` holds the morning's word then the afternoon's, `count` long each
        ElapsedHours,
        ElapsedMinutes,
        ElapsedSeconds,
    };
    struct Token
    {
        Kind kind;
        char16_t mark = 0;
        int count = 0;
        QString text;
    };
    enum class Compare : quint8 { None, Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };
    struct Section
    {
        QList<Token> tokens;
        Compare compare = Compare::None;
        double limit = 0;
        int shift = 0;     // powers of ten the value is shown at: +2 a %, -3 a scaling comma
        int subSecond = 0; // digits of the fraction of a second shown
        bool date = false;
        bool number = false; // has digit placeholders
        bool grouping = false;
        bool fraction = false;
        bool chinese = true; // names of months and weekdays
        bool twelveHour = false;
    };

private:
    QList<Section> m_sections;
    bool m_general = true;
};

// The text `section` shows for `value` (not negative unless the section is chosen for all
// values); `minus` puts a minus sign in front. A null string where the value is out of the
// section's range (a date before day 0 or after 9999-12-31).
QString renderSection(const NumberFormat::Section &section, double value, bool minus,
                      DateSystem dates);

} // namespace cells
