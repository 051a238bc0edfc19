#include "search/core/report.h"
#include "support/report_entries.h"

#include <QTest>

using namespace search;

class TestReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstPosition_data();
    void firstPosition();
    void hitEntryBytes_data();
    void hitEntryBytes();
    void reportBytes_data();
    void reportBytes();
    void unreadableFilesAndCancelLine();
};

void TestReport::firstPosition_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("position");

    QTest::newRow("a keyword at the very start is at position 1")
        << QStringLiteral("ab") << QStringLiteral("abc") << qsizetype(1);
    QTest::newRow("the first of two occurrences counts")
        << QStringLiteral("ab") << QStringLiteral("xxabyab") << qsizetype(3);
    QTest::newRow("a capital first letter is not found in the same word in small letters")
        << QStringLiteral("Notes") << QStringLiteral("my notes") << qsizetype(0);
    QTest::newRow("an empty search text never holds a non-empty keyword")
        << QStringLiteral("a") << QString() << qsizetype(0);
    QTest::newRow("an empty keyword is present at position 1 of any text")
        << QString() << QStringLiteral("xyz") << qsizetype(1);
    QTest::newRow("an empty keyword is present at position 1 of an empty text")
        << QString() << QString() << qsizetype(1);
    QTest::newRow("one Chinese character counts as one")
        << QStringLiteral(u"找") << QStringLiteral(u"批量查找") << qsizetype(4);
    QTest::newRow("full-width letters are not folded to ASCII")
        << QStringLiteral("A") << QStringLiteral(u"Ａ") << qsizetype(0);
    QTest::newRow("a character outside the BMP counts as two code units")
        << QStringLiteral("x") << QStringLiteral(u"\U0001F600x") << qsizetype(3);
}

void TestReport::firstPosition()
{
    QFETCH(QString, keyword);
    QFETCH(QString, text);
    QFETCH(qsizetype, position);
    QCOMPARE(FirstPosition(keyword, text), position);
    QCOMPARE(FindA(keyword, text), position > 0);
}

void TestReport::hitEntryBytes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("excerpt");

    QTest::newRow("a keyword at position 13 of 14 characters shows the last 12 from position 3")
        << QStringLiteral("a.txt") << QStringLiteral("abcdefghijklXY") << QStringLiteral("XY")
        << QStringLiteral("cdefghijklXY");
    QTest::newRow("a keyword at position 11 shows the text from its first character")
        << QStringLiteral("b.txt") << QStringLiteral("0123456789KEY-and-then-a-long-tail-of-text")
        << QStringLiteral("KEY") << QStringLiteral("0123456789KEY-and-then-a-long-");
    QTest::newRow("a keyword within the first 10 characters shows at most 30 from the start")
        << QStringLiteral("c.txt") << QStringLiteral("abcKEYdefghijklmnopqrstuvwxyz0123456789")
        << QStringLiteral("KEY") << QStringLiteral("abcKEYdefghijklmnopqrstuvwxyz0");
    QTest::newRow("far into the text the excerpt is 10 characters before and 20 from the keyword")
        << QStringLiteral("d.txt")
        << QStringLiteral("................................0123456789KEYabcdefghijklmnopq...")
        << QStringLiteral("KEY") << QStringLiteral("0123456789KEYabcdefghijklmnopq");
    QTest::newRow("an empty keyword shows the first 30 characters")
        << QStringLiteral("e.txt") << QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789")
        << QString() << QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
    QTest::newRow("an empty keyword in an empty text gives an empty excerpt")
        << QStringLiteral("empty.txt") << QString() << QString() << QString();
    QTest::newRow("a Chinese file name and text count Chinese characters as one")
        << QStringLiteral(u"笔记.txt")
        << QStringLiteral(u"今天上午我们一起去批量查找文件，然后写报告和总结")
        << QStringLiteral(u"查找")
        << QStringLiteral(u"天上午我们一起去批量查找文件，然后写报告和总结");
}

void TestReport::hitEntryBytes()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, keyword);
    QFETCH(QString, excerpt);
    QCOMPARE(HitEntry(name, text, keyword), expected::hitEntry(name, excerpt));
    QCOMPARE(hitEntryFromExcerpt(name, excerpt), expected::hitEntry(name, excerpt));
}

void TestReport::reportBytes_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");

    const QString entry = HitEntry(QStringLiteral("notes.txt"), QStringLiteral("see the budget"),
                                   QStringLiteral("budget"));
    QTest::newRow("a folder with one hit on notes.txt")
        << QStringLiteral("/home/user/Data") << entry
        << QStringLiteral("\r\n  /home/user/Data/\r\n\r\n\r\n"
                          "                          notes.txt\uFF1A\r\n\r\n"
                          "                                        see the budget...\r\n\r\n");
    QTest::newRow("the root folder gives a doubled separator")
        << QStringLiteral("/") << QString() << QStringLiteral("\r\n  //\r\n\r\n\r\n");
    QTest::newRow("no hits give the header alone")
        << QStringLiteral("/tmp/x") << QString() << QStringLiteral("\r\n  /tmp/x/\r\n\r\n\r\n");
    QTest::newRow("a folder that already ends in a separator gets another one")
        << QStringLiteral("/tmp/x/") << QString() << QStringLiteral("\r\n  /tmp/x//\r\n\r\n\r\n");
    QTest::newRow("a Chinese folder name is kept as it is")
        << QStringLiteral(u"/home/用户/文档") << QString()
        << QStringLiteral(u"\r\n  /home/用户/文档/\r\n\r\n\r\n");
}

void TestReport::reportBytes()
{
    QFETCH(QString, folder);
    QFETCH(QString, body);
    QFETCH(QString, expected);
    QCOMPARE(ReportText(folder, body), expected);
}

void TestReport::unreadableFilesAndCancelLine()
{
    QCOMPARE(unreadableBlock({}), QString());
    const QString block =
        unreadableBlock({{QStringLiteral("a.txt"), QStringLiteral(u"文件不存在")},
                         {QStringLiteral(u"乙.txt"), QStringLiteral(u"读取出错")}});
    QCOMPARE(block, QStringLiteral(u"\r\n  以下文件无法读取：\r\n\r\n"
                                   "                          a.txt：文件不存在\r\n\r\n"
                                   "                          乙.txt：读取出错\r\n\r\n"));
    QCOMPARE(cancelledLine(), expected::kCancelLine);
}

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
