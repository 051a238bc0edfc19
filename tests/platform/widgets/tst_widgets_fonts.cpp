#include "platform/widgets/fonts.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>

class TestFonts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { platform::registerFontSubstitutes(); }
    void calligraphicFaceIsTheBrushStyleSubstitute_data();
    void calligraphicFaceIsTheBrushStyleSubstitute();
    void registeringTwiceKeepsOneEntryPerSubstitute();
};

void TestFonts::calligraphicFaceIsTheBrushStyleSubstitute_data()
{
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("text");

    QTest::newRow("Chinese characters and full-width punctuation at 14.25 pt bold")
        << 14.25 << true << QStringLiteral(u"标题：批量搜索");
    QTest::newRow("Latin letters and ideographic full stops at 12 pt")
        << 12.0 << false << QStringLiteral(u"。。。Zorvik");
    QTest::newRow("A large square character at 21.75 pt")
        << 21.75 << false << QStringLiteral(u"口");
    QTest::newRow("Capital letters and a hyphen")
        << 14.25 << false << QStringLiteral("Mix X Quarlex - ");
}

void TestFonts::calligraphicFaceIsTheBrushStyleSubstitute()
{
    QFETCH(qreal, pointSize);
    QFETCH(bool, bold);
    QFETCH(QString, text);

    const QFont font = platform::calligraphicFont(pointSize, bold);
    QCOMPARE(font.family(), platform::calligraphicFamily());
    QCOMPARE(font.pointSizeF(), pointSize);
    QCOMPARE(font.bold(), bold);

    // The face asked for is not installed; the brush-style face is what is actually used, and
    // it draws every character itself (no empty boxes, no fallback to a plain face).
    QCOMPARE(QFontInfo(font).family(), QStringLiteral("AR PL UKai CN"));
    const QFontMetrics metrics(font);
    for (const char32_t c : text.toUcs4())
        QVERIFY2(metrics.inFontUcs4(c), qPrintable(QString::number(c, 16)));
}

void TestFonts::registeringTwiceKeepsOneEntryPerSubstitute()
{
    platform::registerFontSubstitutes();
    // Qt keeps substitute names in lower case.
    const QStringList substitutes = QFont::substitutes(platform::calligraphicFamily());
    QCOMPARE(substitutes.count(QStringLiteral("ar pl ukai cn")), 1);
    QCOMPARE(substitutes.count(QStringLiteral("wenquanyi micro hei")), 1);
    // The brush-style face comes first: it is the one to look like the design.
    QCOMPARE(substitutes.first(), QStringLiteral("ar pl ukai cn"));
}

QTEST_MAIN(TestFonts)
#include "tst_widgets_fonts.moc"
