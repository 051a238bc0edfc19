#include "chooser/paging.h"

#include <QTest>

using chooser::PageDirection;

Q_DECLARE_METATYPE(chooser::PageDirection)

class TestPaging : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void targets_data();
    void targets();
};

void TestPaging::targets_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("current");
    QTest::addColumn<PageDirection>("direction");
    QTest::addColumn<int>("target");

    const auto up = PageDirection::Up;
    const auto down = PageDirection::Down;
    QTest::newRow("up from 50 of 100 goes to 30") << 100 << 50 << up << 30;
    QTest::newRow("up from 5 falls back to the first entry") << 100 << 5 << up << 0;
    QTest::newRow("up from 20 reaches the first entry exactly") << 100 << 20 << up << 0;
    QTest::newRow("up from 21 goes to 1") << 100 << 21 << up << 1;
    QTest::newRow("up without a current entry selects the first") << 100 << -1 << up << 0;
    QTest::newRow("down without a current entry goes to 19") << 100 << -1 << down << 19;
    QTest::newRow("down without a current entry in a short list selects the last")
        << 10 << -1 << down << 9;
    QTest::newRow("down without a current entry in a list of 19 selects the last")
        << 19 << -1 << down << 18;
    QTest::newRow("down without a current entry in a list of 20 goes to 19")
        << 20 << -1 << down << 19;
    QTest::newRow("down from 25 of 30 falls back to the last entry") << 30 << 25 << down << 29;
    QTest::newRow("down from 79 of 100 reaches the last entry exactly") << 100 << 79 << down << 99;
    QTest::newRow("down from 80 of 100 falls back to the last entry") << 100 << 80 << down << 99;
    QTest::newRow("down from the last entry stays there") << 100 << 99 << down << 99;
    QTest::newRow("a single entry up") << 1 << 0 << up << 0;
    QTest::newRow("a single entry down") << 1 << 0 << down << 0;
    QTest::newRow("an empty list selects nothing up") << 0 << -1 << up << -1;
    QTest::newRow("an empty list selects nothing down") << 0 << -1 << down << -1;
    QTest::newRow("beyond 16-bit counts down") << 100000 << 40000 << down << 40020;
    QTest::newRow("beyond 16-bit counts up") << 100000 << 99999 << up << 99979;
    QTest::newRow("beyond 16-bit counts to the end") << 100000 << 99990 << down << 99999;
    QTest::newRow("the largest index does not overflow")
        << 2147483647 << 2147483640 << down << 2147483646;
}

void TestPaging::targets()
{
    QFETCH(int, count);
    QFETCH(int, current);
    QFETCH(PageDirection, direction);
    QFETCH(int, target);
    QCOMPARE(chooser::pageTarget(current, count, direction), target);
}

QTEST_GUILESS_MAIN(TestPaging)
#include "tst_paging.moc"
