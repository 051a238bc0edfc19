#include "search/cells/cell_formats.h"
#include "search/cells/number_format.h"

#include <QTest>

using cells::CellFormats;
using cells::DateSystem;
using cells::NumberFormat;
using namespace Qt::Literals::StringLiterals;

class TestNumberFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numbersShowAsTheirFormatSays_data();
    void numbersShowAsTheirFormatSays();
    void workbookStylesNameTheirFormats();
};

// 2021-04-28 and 2020-01-01 01:01:01 in the 1900 date system.
constexpr double kApril28 = 44314;
constexpr double kNewYearMorning = 43831.042372685202;

void TestNumberFormat::numbersShowAsTheirFormatSays_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("value");
    QTest::addColumn<DateSystem>("dates");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, const QString &code, double value, const QString &text,
                        DateSystem dates = DateSystem::From1900) {
        QTest::newRow(name) << code << value << dates << text;
    };
    row("a percentage keeps its two decimals", u"0.00%"_s, 1.1111, u"111.11%"_s);
    row("thousands are grouped and decimals fixed", u"#,##0.00"_s, 1111.1111, u"1,111.11"_s);
    row("a padding blank stays at the end", u"#,##0.00_ "_s, 35088848.79, u"35,088,848.79 "_s);
    row("rounding is decimal, as the user sees the value", u"0.00"_s, 2.675, u"2.68"_s);
    row("a negative number without a section of its own keeps its sign", u"#,##0"_s, -1234567.5,
        u"-1,234,568"_s);
    row("the negative section shows the number without its sign",
        u"\"¥\"#,##0.00;\"¥\"\\-#,##0.00"_s, -5, u"¥-5.00"_s);
    row("an accounting format's zero section",
        u"_ \"￥\"* #,##0.00_ ;_ \"￥\"* \\-#,##0.00_ ;_ \"￥\"* \"-\"??_ ;_ @_ "_s, 0,
        u" ￥-   "_s);
    row("a zero section shows zeros", u"0;-0;\"零\""_s, 0, u"零"_s);
    row("a comma after the digits divides by a thousand", u"0.0,\"千\""_s, 12345, u"12.3千"_s);
    row("optional digits drop trailing zeros", u"#.##"_s, 3.1, u"3.1"_s);
    row("the integer stands before the point without a placeholder", u"\"$\".00"_s, 12.5,
        u"$12.50"_s);
    row("a currency tag gives its symbol", u"[$$-409]#,##0.00"_s, 1234.5, u"$1,234.50"_s);
    row("scientific notation", u"0.00E+00"_s, 0.000123, u"1.23E-04"_s);
    row("engineering notation", u"##0.0E+0"_s, 12345, u"12.3E+3"_s);
    row("a condition chooses its section", u"[>=100]\"大\";\"小\""_s, 150, u"大"_s);
    row("the text section is not for numbers", u"0.00;@"_s, -3, u"-3.00"_s);
    row("a Chinese date", u"yyyy\"年\"m\"月\"d\"日\""_s, kApril28, u"2021年4月28日"_s);
    row("a Chinese date and time", u"yyyy\"年\"m\"月\"d\"日\"\\ h:mm:ss"_s, kNewYearMorning,
        u"2020年1月1日 1:01:01"_s);
    row("上午/下午 is the twelve-hour clock", u"上午/下午h\"时\"mm\"分\"ss\"秒\""_s,
        kNewYearMorning, u"上午1时01分01秒"_s);
    row("the afternoon", u"上午/下午h\"时\"mm\"分\""_s, 0.75, u"下午6时00分"_s);
    row("noon is 12 下午", u"h:mm AM/PM"_s, 0.5, u"12:00 下午"_s);
    row("months and weekdays are named in Chinese", u"mmm mmmm dddd"_s, kApril28,
        u"4月 四月 星期三"_s);
    row("a Chinese locale tag changes nothing", u"[$-804]mmmmm ddd"_s, kApril28, u"四 周三"_s);
    row("an English locale tag names them in English", u"[$-409]d-mmm-yy h AM/PM"_s,
        kApril28 + 0.75, u"28-Apr-21 6 PM"_s);
    row("digit styles keep Arabic digits", u"[DBNum1][$-804]yyyy\"年\"m\"月\""_s, kApril28,
        u"2021年4月"_s);
    row("elapsed hours run past a day", u"[h]:mm:ss"_s, 1.5, u"36:00:00"_s);
    row("seconds are rounded before minutes are cut", u"h:mm:ss"_s, 0.99999999, u"0:00:00"_s);
    row("tenths of a second", u"mm:ss.0"_s, 1.25 / 86400, u"00:01.3"_s);
    row("the 29 February 1900 of the 1900 system", u"yyyy-mm-dd"_s, 60, u"1900-02-29"_s);
    row("the day after it", u"yyyy-mm-dd"_s, 61, u"1900-03-01"_s);
    row("the day before it", u"yyyy-mm-dd"_s, 59, u"1900-02-28"_s);
    row("day 0 of the 1904 system", u"yyyy-mm-dd"_s, 0, u"1904-01-01"_s, DateSystem::From1904);
    row("the same serial number in the 1904 system", u"yyyy/m/d"_s, kApril28, u"2025/4/29"_s,
        DateSystem::From1904);
    row("a negative date is shown as General", u"yyyy/m/d"_s, -1, u"-1"_s);
    row("fractions are shown as General", u"# ?/?"_s, 1.5, u"1.5"_s);
    row("the text format shows a number as General", u"@"_s, 12.5, u"12.5"_s);
}

void TestNumberFormat::numbersShowAsTheirFormatSays()
{
    QFETCH(QString, code);
    QFETCH(double, value);
    QFETCH(DateSystem, dates);
    QFETCH(QString, text);
    QCOMPARE(NumberFormat(code).format(value, dates), text);
}

// Styles name formats by number: declared codes first, then Chinese Excel's built-in ones; a
// style in General gives no text, so the reader keeps the value as the file writes it.
void TestNumberFormat::workbookStylesNameTheirFormats()
{
    CellFormats formats;
    formats.addFormat(176, u"0.0\"元\"");
    formats.addFormat(9, u"0.000%"); // in place of the built-in 0%
    for (const int id : {0, 14, 176, 9, 31, 49})
        formats.addStyle(id);
    QVERIFY(formats.text(0, kApril28).isNull());
    QCOMPARE(formats.text(1, kApril28), u"2021/4/28");
    QCOMPARE(formats.text(2, 3.14), u"3.1元");
    QCOMPARE(formats.text(3, 0.5), u"50.000%");
    QCOMPARE(formats.text(4, kApril28), u"2021年4月28日");
    QVERIFY(formats.text(5, kApril28).isNull());
    QVERIFY(formats.text(6, kApril28).isNull()); // no such style
    formats.setDateSystem(DateSystem::From1904);
    QCOMPARE(formats.text(1, 0), u"1904/1/1");
}

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "tst_number_format.moc"
