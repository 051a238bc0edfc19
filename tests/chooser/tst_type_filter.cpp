#include "chooser/type_filter.h"

#include <QTest>

class TestTypeFilter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void items_data();
    void items();
    void itemTextsUseFullWidthParentheses();
    void noItemChosenSetsNothing_data();
    void noItemChosenSetsNothing();
    void typedTexts_data();
    void typedTexts();
};

void TestTypeFilter::items_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("programs") << 0 << QStringLiteral(u"应用程序（*.exe）") << "*.exe";
    QTest::newRow("text files") << 1 << QStringLiteral(u"文本文件（*.txt）") << "*.txt";
    QTest::newRow("web pages take scripts and both HTML endings too")
        << 2 << QStringLiteral(u"网页文件（*.asp,*.htm）等") << "*.asp;*.js;*.html;*.htm";
    QTest::newRow("pictures take JPEG and PNG too")
        << 3 << QStringLiteral(u"图像文件（*.jpg,*.bmp,*.gif）等")
        << "*.jpg;*.jpeg;*.bmp;*.png;*.gif";
    QTest::newRow("all files") << 4 << QStringLiteral(u"全部文件（*.*）") << "*.*";
    QTest::newRow("all files with the subfolders, the last item")
        << 5 << QStringLiteral(u"全部文件，含子文件夹（**/*.*）") << "**/*";
}

void TestTypeFilter::items()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    const QStringList texts = chooser::filterItemTexts();
    QCOMPARE(texts.size(), 6);
    QCOMPARE(texts.at(index), text);
    QCOMPARE(chooser::patternForItem(index), pattern);
}

void TestTypeFilter::itemTextsUseFullWidthParentheses()
{
    for (const QString &text : chooser::filterItemTexts()) {
        QCOMPARE(text.count(QChar(0xFF08)), 1);
        QCOMPARE(text.count(QChar(0xFF09)), 1);
        QVERIFY(!text.contains(QLatin1Char('(')) && !text.contains(QLatin1Char(')')));
    }
}

void TestTypeFilter::noItemChosenSetsNothing_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("no item chosen") << -1;
    QTest::newRow("an index past the last item") << 6;
    QTest::newRow("a far index") << 1000;
}

void TestTypeFilter::noItemChosenSetsNothing()
{
    QFETCH(int, index);
    QVERIFY(chooser::patternForItem(index).isNull());
}

void TestTypeFilter::typedTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("a typed pattern is taken as typed") << "*.doc"
                                                       << "*.doc";
    QTest::newRow("several typed patterns are taken as typed") << "*.c;*.h"
                                                               << "*.c;*.h";
    QTest::newRow("a bare word is taken as it is") << "report"
                                                   << "report";
    QTest::newRow("blanks are kept") << " *.doc "
                                     << " *.doc ";
    QTest::newRow("an item text is taken as it is")
        << QStringLiteral(u"全部文件（*.*）") << QStringLiteral(u"全部文件（*.*）");
    QTest::newRow("an empty text lists all files") << ""
                                                   << "*.*";
}

void TestTypeFilter::typedTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QCOMPARE(chooser::patternForText(text), pattern);
}

QTEST_GUILESS_MAIN(TestTypeFilter)
#include "tst_type_filter.moc"
