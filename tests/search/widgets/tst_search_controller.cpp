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
    QList<QList<search::ReportHit>> hits;
    QList<bool> progressShown;
    std::function<void()> onReport;
    void setReport(const QString &report, const QList<search::ReportHit> &reportHits) override
    {
        reports << report;
        hits << reportHits;
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
    QCOMPARE(m_sink->hits.size(), 1);
    QCOMPARE(m_sink->hits.first().size(), 1);
    QCOMPARE(m_sink->hits.first().first().path, m_dir->filePath(QStringLiteral("b.txt")));
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
    QTest::addColumn<QByteArrayList>("contents");
    QTest::addColumn<int>("marked");

    QTest::newRow("Three marked files with the keyword")
        << QList<bool>{true, true, true} << QByteArrayList{"x", "x", "x"} << 3;
    QTest::newRow("Unmarked entries do not count")
        << QList<bool>{false, true, false, true} << QByteArrayList{"x", "x", "x", "x"} << 2;
    QTest::newRow("A last file without the keyword still completes the line")
        << QList<bool>{true, true, true} << QByteArrayList{"x", "x", "none"} << 3;
}

void TestSearchController::progressLineGrowsToTheFullWidth()
{
    QFETCH(QList<bool>, marks);
    QFETCH(QByteArrayList, contents);
    QFETCH(int, marked);
    for (int i = 0; i < marks.size(); ++i)
        QVERIFY(addFile(QStringLiteral("f%1.txt").arg(i), contents.at(i), marks.at(i)));
    m_keyword = QStringLiteral("x");

    // What the progress window shows at one moment of the run.
    struct Seen
    {
        QSize window;
        QRect line;
        QString description;
        QString caption;
    };
    const auto look = [](Seen &seen) {
        if (search::Form2 *form = visibleProgressWindow()) {
            seen.window = form->size();
            seen.line = form->progressLine()->geometry();
            seen.description = form->accessibleDescription();
            seen.caption = form->Label1()->text();
        }
    };
    Seen atStart;
    Seen atEnd;
    int files = 0;
    m_onKeyword = [&] {
        if (++files == 1)
            look(atStart);
    };
    // The report comes while the progress window is still up.
    m_sink->onReport = [&] { look(atEnd); };
    runAndWait();

    const QString n = QString::number(marked);
    QCOMPARE(atStart.description, QStringLiteral(u"已完成 0 / ") + n + QStringLiteral(u" 个文件"));
    QCOMPARE(atStart.line.width(), 0);
    QCOMPARE(atEnd.description, QStringLiteral(u"已完成 ") + n + QStringLiteral(u" / ") + n +
                                    QStringLiteral(u" 个文件"));
    // A thin line along the bottom edge, across the whole window.
    QCOMPARE(atEnd.window, QSize(312, 38));
    QCOMPARE(atEnd.line.width(), atEnd.window.width());
    QCOMPARE(atEnd.line.left(), 0);
    QCOMPARE(atEnd.line.bottom(), atEnd.window.height() - 1);
    QVERIFY(atEnd.line.height() >= 2 && atEnd.line.height() <= 3);
    QCOMPARE(atEnd.caption, QStringLiteral(u"正在查找中。。。"));
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
