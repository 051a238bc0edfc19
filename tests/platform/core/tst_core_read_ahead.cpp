#include "platform/core/read_ahead.h"

#include <QTest>

#include <vector>

using platform::ReadAheadPlan;

class TestReadAhead : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyColdFileIsReadBeforeTheSearch_data();
    void everyColdFileIsReadBeforeTheSearch();
};

namespace {

// A list of files in stretches: each number is a stretch of cached files (positive) or of files
// not cached (negative).
std::vector<bool> stretches(const QList<int> &lengths)
{
    std::vector<bool> cached;
    for (int length : lengths)
        cached.insert(cached.end(), size_t(std::abs(length)), length > 0);
    return cached;
}

} // namespace

void TestReadAhead::everyColdFileIsReadBeforeTheSearch_data()
{
    QTest::addColumn<QList<int>>("lengths");
    QTest::addColumn<int>("mostLookedAt"); // files looked at, of those cached
    QTest::newRow("all cached") << QList<int>{20000} << 200;
    QTest::newRow("all cold") << QList<int>{-500} << 0;
    QTest::newRow("cold after a long cached stretch") << QList<int>{5000, -300} << 200;
    QTest::newRow("cached and cold in turns")
        << QList<int>{40, -40, 40, -3, 2000, -256, 9000, -600} << 400;
}

// The search is as slow as can be: it moves only as far as the read-ahead waits for. Every file
// of a stretch not cached as long as the longest step is looked at before the search reaches
// it (the one found first, those before it since the last look, those after it), and of the
// cached files only a few are looked at.
void TestReadAhead::everyColdFileIsReadBeforeTheSearch()
{
    QFETCH(QList<int>, lengths);
    QFETCH(int, mostLookedAt);
    const std::vector<bool> cached = stretches(lengths);
    constexpr int kDepth = 16;
    ReadAheadPlan plan(kDepth);
    std::vector<bool> readAhead(cached.size(), false);
    int reached = 0;
    int cachedLookedAt = 0;
    for (int looks = 0; looks < 10 * int(cached.size()); ++looks) {
        const int next = plan.next(reached);
        if (next >= int(cached.size()))
            break;
        QVERIFY(next >= reached);
        reached = std::max(reached, next - plan.window() + 1);
        if (cached[size_t(next)])
            ++cachedLookedAt;
        else
            readAhead[size_t(next)] = true;
        plan.looked(cached[size_t(next)], reached);
    }
    QVERIFY2(plan.next(reached) >= int(cached.size()), "the plan did not reach the end");
    for (size_t i = 0; i < cached.size(); ++i)
        QVERIFY2(cached[i] || readAhead[i], qPrintable(QStringLiteral("file %1").arg(i)));
    QVERIFY2(cachedLookedAt <= mostLookedAt, qPrintable(QString::number(cachedLookedAt)));
}

QTEST_APPLESS_MAIN(TestReadAhead)
#include "tst_core_read_ahead.moc"
