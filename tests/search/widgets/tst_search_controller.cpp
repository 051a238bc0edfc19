#include "platform/widgets/fonts.h"
#include "search/core/report.h"
#include "search/widgets/progress_window.h"
#include "search/widgets/search_controller.h"
#include "support/fake_dialogs.h"
#include "support/fake_entry_list.h"
#include "support/test_files.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

search::Form2 *visibleProgressWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *form = qobject_cast<search::Form2 *>(w); form && form->isVisible())
            return form;
    }
    return nullptr;
}

// Keeps every report, and whether the progress window was still up when it came.
struct FakeSink : search::ReportSink
{
    QStringList reports;
    QList<bool> progressShown;
    std::function<void()> onReport;
    void setReport(const QString &report, const QList<search::ReportHit> &) override
    {
        reports << report;
        progressShown << (visibleProgressWindow() != nullptr);
        if (onReport)
            onReport();
    }
};

} // namespace

class TestSearchController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void nothingFoundShowsTheMessageThenTheHeader();
    void hitsAreReportedWithoutAMessage();
    void progressWindowIsShownOnlyDuringTheRun();
    void progressLineGrowsToTheFullWidth_data();
    void progressLineGrowsToTheFullWidth();
    void progressLineMovesWithinAFile_data();
    void progressLineMovesWithinAFile();
    void aSecondRunIsRefusedWhileOneRuns();
    void theListGoingAwayDuringARunDoesNotChangeTheReport();
    void cancellingFromTheProgressWindowKeepsTheHitsSoFar_data();
    void cancellingFromTheProgressWindowKeepsTheHitsSoFar();

private:
    [[nodiscard]] bool addFile(const QString &name, const QByteArray &bytes, bool marked = true);
    void runAndWait();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeEntryList> m_entries;
    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<FakeSink> m_sink;
    QWidget m_launcher;
    QString m_keyword;
    std::function<void()> m_onKeyword;
    std::unique_ptr<search::SearchController> m_controller;
};

void TestSearchController::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_entries = std::make_unique<FakeEntryList>();
    m_entries->folder = m_dir->path();
    m_dialogs = std::make_unique<FakeDialogs>();
    m_sink = std::make_unique<FakeSink>();
    m_keyword = QStringLiteral(u"关键");
    m_onKeyword = nullptr;
    m_launcher.resize(627, 420);
    m_controller =
        std::make_unique<search::SearchController>(*m_dialogs, *m_sink, &m_launcher, [this] {
            if (m_onKeyword)
                m_onKeyword();
            return m_keyword;
        });
}

void TestSearchController::cleanup()
{
    m_controller.reset();
    m_entries.reset();
    m_dir.reset();
}

bool TestSearchController::addFile(const QString &name, const QByteArray &bytes, bool marked)
{
    m_entries->entries.append({name, marked});
    return writeFile(m_dir->filePath(name), bytes);
}

void TestSearchController::runAndWait()
{
    QSignalSpy finished(m_controller.get(), &search::SearchController::finished);
    m_controller->run(*m_entries);
    QVERIFY(m_controller->isRunning());
    QVERIFY(finished.wait(10000));
    QVERIFY(!m_controller->isRunning());
}

void TestSearchController::nothingFoundShowsTheMessageThenTheHeader()
{
    QVERIFY(addFile(QStringLiteral("a.txt"), "no match here", false));
    runAndWait();
    QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral(u"没有找到!")});
    QCOMPARE(m_dialogs->titles, QStringList{QStringLiteral("Quarlex")});
    QCOMPARE(m_dialogs->lastParent, &m_launcher);
    QCOMPARE(m_sink->reports, QStringList{search::ReportText(m_dir->path(), QString())});
    // Dismissing the message closed the progress window before the report came.
    QCOMPARE(m_sink->progressShown, QList<bool>{false});
    QVERIFY(!visibleProgressWindow());
}

void TestSearchController::hitsAreReportedWithoutAMessage()
{
    QVERIFY(addFile(QStringLiteral("a.txt"), "nothing"));
    QVERIFY(
        addFile(QStringLiteral("b.txt"), "\xe5\x85\xb3\xe9\x94\xae\xe5\xad\x97")); // 关键字, UTF-8
    runAndWait();
    QVERIFY(m_dialogs->messages.isEmpty());
    const QString body =
        search::HitEntry(QStringLiteral("b.txt"), QStringLiteral(u"关键字"), m_keyword);
    QCOMPARE(m_sink->reports, QStringList{search::ReportText(m_dir->path(), body)});
    // The progress window stays until the report is in place.
    QCOMPARE(m_sink->progressShown, QList<bool>{true});
    QVERIFY(!visibleProgressWindow());
}

void TestSearchController::progressWindowIsShownOnlyDuringTheRun()
{
    QVERIFY(addFile(QStringLiteral("a.txt"), "x"));
    QString caption;
    QFont font;
    QPoint centre;
    m_onKeyword = [&] {
        if (search::Form2 *form = visibleProgressWindow()) {
            caption = form->Label1()->text();
            font = form->Label1()->font();
            centre = form->frameGeometry().center();
        }
    };
    runAndWait();
    QCOMPARE(caption, QStringLiteral(u"正在查找中。。。"));
    QCOMPARE(font.family(), platform::calligraphicFamily());
    QCOMPARE(font.pointSizeF(), 15.75);
    QVERIFY(!font.bold());
    QVERIFY((centre - m_launcher.frameGeometry().center()).manhattanLength() <= 2);
    QVERIFY(!visibleProgressWindow());
}

void TestSearchController::progressLineGrowsToTheFullWidth_data()
{
    QTest::addColumn<QList<bool>>("marks");
    QTest::addColumn<QString>("atEnd");

    QTest::newRow("Three marked files")
        << QList<bool>{true, true, true} << QStringLiteral(u"已完成 3 / 3 个文件");
    QTest::newRow("Unmarked entries do not count")
        << QList<bool>{false, true, false, true} << QStringLiteral(u"已完成 2 / 2 个文件");
}

void TestSearchController::progressLineGrowsToTheFullWidth()
{
    QFETCH(QList<bool>, marks);
    QFETCH(QString, atEnd);
    // The last file has no hit: its end still completes the line.
    for (int i = 0; i < marks.size(); ++i)
        QVERIFY(addFile(QStringLiteral("f%1.txt").arg(i), i + 1 < marks.size() ? "x" : "-",
                        marks.at(i)));
    m_keyword = QStringLiteral("x");
    QRect startLine;
    QRect endLine;
    QString endDescription;
    m_onKeyword = [&] {
        if (search::Form2 *form = visibleProgressWindow(); form && startLine.isNull())
            startLine = form->progressLine()->geometry();
    };
    // The report comes while the progress window is still up.
    m_sink->onReport = [&] {
        if (search::Form2 *form = visibleProgressWindow()) {
            endLine = form->progressLine()->geometry();
            endDescription = form->accessibleDescription();
        }
    };
    runAndWait();

    QCOMPARE(startLine.width(), 0);
    QCOMPARE(endDescription, atEnd);
    // A thin line along the bottom edge, across the whole window (312 x 38 pixels).
    QCOMPARE(endLine, QRect(0, 36, 312, 2));
}

void TestSearchController::progressLineMovesWithinAFile_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<double>("fileShare");
    QTest::addColumn<int>("width");

    // The window is 312 pixels wide.
    QTest::newRow("half of the first of four files") << 0 << 4 << 0.5 << 39;
    QTest::newRow("a quarter of the second of four") << 1 << 4 << 0.25 << 97;
    QTest::newRow("the whole of the only file, not yet done") << 0 << 1 << 1.0 << 312;
    QTest::newRow("a share above the whole counts as the whole") << 2 << 4 << 7.0 << 234;
    QTest::newRow("a share below nothing counts as nothing") << 2 << 4 << -1.0 << 156;
    QTest::newRow("with every file done the share is no more") << 3 << 3 << 0.5 << 312;
}

// The line shows the files done and the share of the next; the description counts whole files.
void TestSearchController::progressLineMovesWithinAFile()
{
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(double, fileShare);
    QFETCH(int, width);
    search::Form2 form;
    form.setProgress(done, total, fileShare);
    QCOMPARE(form.progressLine()->width(), width);
    QCOMPARE(form.accessibleDescription(),
             QStringLiteral(u"已完成 %1 / %2 个文件").arg(done).arg(total));
    QCOMPARE(form.Label1()->text(), QStringLiteral(u"正在查找中。。。"));
}

void TestSearchController::aSecondRunIsRefusedWhileOneRuns()
{
    QVERIFY(addFile(QStringLiteral("a.txt"), "x"));
    FakeEntryList other;
    other.folder = QStringLiteral("/elsewhere");
    other.entries = {{QStringLiteral("b.txt"), true}};
    bool runningAfterSecondRun = false;
    m_onKeyword = [&] {
        m_controller->run(other);
        runningAfterSecondRun = m_controller->isRunning();
    };
    runAndWait();
    QVERIFY(runningAfterSecondRun);
    QCoreApplication::processEvents();
    QCOMPARE(m_sink->reports.size(), 1);
    QVERIFY(m_sink->reports.first().startsWith(search::ReportText(m_dir->path(), QString())));
}

void TestSearchController::theListGoingAwayDuringARunDoesNotChangeTheReport()
{
    QVERIFY(addFile(QStringLiteral("a.txt"), "x"));
    QVERIFY(addFile(QStringLiteral("b.txt"), "x"));
    m_onKeyword = [&] { m_entries.reset(); };
    m_keyword = QStringLiteral("x");
    runAndWait();
    const QString body = search::HitEntry(QStringLiteral("a.txt"), QStringLiteral("x"), m_keyword) +
                         search::HitEntry(QStringLiteral("b.txt"), QStringLiteral("x"), m_keyword);
    QCOMPARE(m_sink->reports, QStringList{search::ReportText(m_dir->path(), body)});
}

void TestSearchController::cancellingFromTheProgressWindowKeepsTheHitsSoFar_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Esc on the progress window cancels") << true;
    QTest::newRow("closing the progress window cancels") << false;
}

void TestSearchController::cancellingFromTheProgressWindowKeepsTheHitsSoFar()
{
    QFETCH(bool, byEscape);
    for (int i = 0; i < 5; ++i)
        QVERIFY(addFile(QStringLiteral("f%1.txt").arg(i), "x"));
    m_keyword = QStringLiteral("x");
    int files = 0;
    bool cancelled = false;
    m_onKeyword = [&] {
        if (++files != 2)
            return;
        search::Form2 *form = visibleProgressWindow();
        if (!form)
            return;
        if (byEscape)
            QTest::keyClick(form, Qt::Key_Escape);
        else
            form->close();
        cancelled = true;
    };
    runAndWait();
    QVERIFY2(cancelled, "no progress window to cancel from");
    QCOMPARE(m_sink->reports.size(), 1);
    const QString report = m_sink->reports.first();
    QVERIFY(report.contains(QStringLiteral("f0.txt")));
    QVERIFY(!report.contains(QStringLiteral("f4.txt")));
    QVERIFY(report.endsWith(search::cancelledLine()));
    QVERIFY(!visibleProgressWindow());
}

QTEST_MAIN(TestSearchController)
#include "tst_search_controller.moc"
