#include "platform/widgets/dialogs.h"
#include "search/core/entry_list.h"
#include "search/core/report.h"
#include "search/widgets/progress_window.h"
#include "search/widgets/search_controller.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

struct FakeEntries : search::EntryList
{
    QString folder;
    QStringList names;
    QList<bool> marks;
    int entryCount() const override { return names.size(); }
    QString entryName(int i) const override { return names.at(i); }
    bool isSelected(int i) const override { return marks.at(i); }
    QString folderPath() const override { return folder; }
};

struct FakeDialogs : platform::Dialogs
{
    QStringList messages;
    QString textPrompt(QWidget *, const QString &, const QString &) override { return {}; }
    void criticalMessage(QWidget *, const QString &title, const QString &text) override
    {
        QCOMPARE(title, QStringLiteral("Quarlex"));
        messages << text;
    }
};

struct FakeSink : search::ReportSink
{
    QStringList reports;
    void setReport(const QString &report) override { reports << report; }
};

search::Form2 *visibleProgressWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *form = qobject_cast<search::Form2 *>(w); form && form->isVisible())
            return form;
    }
    return nullptr;
}

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
    void aSecondRunIsRefusedWhileOneRuns();
    void theListGoingAwayDuringARunDoesNotChangeTheReport();
    void cancellingFromTheProgressWindowKeepsTheHitsSoFar_data();
    void cancellingFromTheProgressWindowKeepsTheHitsSoFar();

private:
    void addFile(const QString &name, const QByteArray &bytes, bool marked = true);
    void runAndWait();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeEntries> m_entries;
    FakeDialogs m_dialogs;
    FakeSink m_sink;
    QWidget m_launcher;
    QString m_keyword;
    std::function<void()> m_onKeyword;
    std::unique_ptr<search::SearchController> m_controller;
};

void TestSearchController::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_entries = std::make_unique<FakeEntries>();
    m_entries->folder = m_dir->path();
    m_dialogs.messages.clear();
    m_sink.reports.clear();
    m_keyword = QStringLiteral(u"关键");
    m_onKeyword = nullptr;
    m_launcher.resize(627, 420);
    m_controller =
        std::make_unique<search::SearchController>(m_dialogs, m_sink, &m_launcher, [this] {
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

void TestSearchController::addFile(const QString &name, const QByteArray &bytes, bool marked)
{
    QFile file(m_dir->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    m_entries->names << name;
    m_entries->marks << marked;
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
    addFile(QStringLiteral("a.txt"), "no match here", false);
    runAndWait();
    QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral(u"没有找到!")});
    QCOMPARE(m_sink.reports, QStringList{search::ReportText(m_dir->path(), QString())});
    QVERIFY(!visibleProgressWindow());
}

void TestSearchController::hitsAreReportedWithoutAMessage()
{
    addFile(QStringLiteral("a.txt"), "nothing");
    addFile(QStringLiteral("b.txt"), "\xe5\x85\xb3\xe9\x94\xae\xe5\xad\x97"); // 关键字, UTF-8
    runAndWait();
    QVERIFY(m_dialogs.messages.isEmpty());
    const QString body =
        search::HitEntry(QStringLiteral("b.txt"), QStringLiteral(u"关键字"), m_keyword);
    QCOMPARE(m_sink.reports, QStringList{search::ReportText(m_dir->path(), body)});
}

void TestSearchController::progressWindowIsShownOnlyDuringTheRun()
{
    addFile(QStringLiteral("a.txt"), "x");
    QString caption;
    QPoint centre;
    m_onKeyword = [&] {
        if (search::Form2 *form = visibleProgressWindow()) {
            caption = form->Label1()->text();
            centre = form->frameGeometry().center();
        }
    };
    runAndWait();
    QCOMPARE(caption, QStringLiteral(u"正在查找中。。。"));
    QVERIFY((centre - m_launcher.frameGeometry().center()).manhattanLength() <= 2);
    QVERIFY(!visibleProgressWindow());
}

void TestSearchController::aSecondRunIsRefusedWhileOneRuns()
{
    addFile(QStringLiteral("a.txt"), "x");
    FakeEntries other;
    other.folder = QStringLiteral("/elsewhere");
    other.names = {QStringLiteral("b.txt")};
    other.marks = {true};
    m_onKeyword = [&] {
        m_controller->run(other);
        QVERIFY(m_controller->isRunning());
    };
    runAndWait();
    QCoreApplication::processEvents();
    QCOMPARE(m_sink.reports.size(), 1);
    QVERIFY(m_sink.reports.first().startsWith(search::ReportText(m_dir->path(), QString())));
}

void TestSearchController::theListGoingAwayDuringARunDoesNotChangeTheReport()
{
    addFile(QStringLiteral("a.txt"), "x");
    addFile(QStringLiteral("b.txt"), "x");
    m_onKeyword = [&] { m_entries.reset(); };
    m_keyword = QStringLiteral("x");
    runAndWait();
    const QString body = search::HitEntry(QStringLiteral("a.txt"), QStringLiteral("x"), m_keyword) +
                         search::HitEntry(QStringLiteral("b.txt"), QStringLiteral("x"), m_keyword);
    QCOMPARE(m_sink.reports, QStringList{search::ReportText(m_dir->path(), body)});
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
        addFile(QStringLiteral("f%1.txt").arg(i), "x");
    m_keyword = QStringLiteral("x");
    int files = 0;
    m_onKeyword = [&] {
        if (++files != 2)
            return;
        search::Form2 *form = visibleProgressWindow();
        QVERIFY(form);
        if (byEscape)
            QTest::keyClick(form, Qt::Key_Escape);
        else
            form->close();
    };
    runAndWait();
    QCOMPARE(m_sink.reports.size(), 1);
    const QString report = m_sink.reports.first();
    QVERIFY(report.contains(QStringLiteral("f0.txt")));
    QVERIFY(!report.contains(QStringLiteral("f4.txt")));
    QVERIFY(report.endsWith(search::cancelledLine()));
    QVERIFY(!visibleProgressWindow());
}

QTEST_MAIN(TestSearchController)
#include "tst_search_controller.moc"
