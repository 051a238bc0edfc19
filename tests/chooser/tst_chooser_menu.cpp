#include "chooser_fixture.h"

#include "chooser/chooser_window.h"
#include "platform/widgets/drive_list.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

using chooser::Form4;

// The file list's popup menu ("选定" runs the search, "打开" hands files to the shell) and
// "ReLoad", which asks for the keyword again.
class TestChooserMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void rightReleaseOverTheFileListOpensTheMenu();
    void leftButtonAndOtherControlsOpenNoMenu();
    void searchIsUnavailableWhileOneRuns();
    void searchHidesTheChooserAndRunsOnTheMarkedEntries();
    void openHandsEachSelectedFileToTheShellInListOrder();
    void openWithNothingSelectedMakesNoRequest();

    void reloadWithAnEmptyKeywordUnloadsAndSaves_data();
    void reloadWithAnEmptyKeywordUnloadsAndSaves();
    void reloadWithAKeywordKeepsTheChooser();

private:
    std::unique_ptr<ChooserFixture> m_fixture;
};

void TestChooserMenu::init()
{
    m_fixture = std::make_unique<ChooserFixture>();
    QVERIFY(m_fixture->setUp());
}

void TestChooserMenu::cleanup()
{
    closePopups();
    m_fixture.reset();
}

void TestChooserMenu::rightReleaseOverTheFileListOpensTheMenu()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    platform::FileList *files = form->File1();
    const QPoint at = entryCentre(*files, 0);
    QTest::mousePress(files->viewport(), Qt::RightButton, {}, at);
    QVERIFY(!form->FileMenu()->isVisible());
    QTest::mouseRelease(files->viewport(), Qt::RightButton, {}, at);
    QTRY_VERIFY(form->FileMenu()->isVisible());
    QCOMPARE(form->FileMenu()->pos(), files->viewport()->mapToGlobal(at));
    form->FileMenu()->close();
    QTRY_VERIFY(!form->FileMenu()->isVisible());
}

void TestChooserMenu::leftButtonAndOtherControlsOpenNoMenu()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    clickEntry(*form->File1(), 0);
    QTest::qWait(50);
    QVERIFY(!form->FileMenu()->isVisible());
    rightClick(form->Dir1()->viewport(), QPoint(10, 10));
    rightClick(form->Command2(), QPoint(5, 5));
    QTest::qWait(50);
    QVERIFY(!form->FileMenu()->isVisible());
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
}

void TestChooserMenu::searchIsUnavailableWhileOneRuns()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    m_fixture->search.running = true;
    rightClick(form->File1()->viewport(), entryCentre(*form->File1(), 0));
    QTRY_VERIFY(form->FileMenu()->isVisible());
    QVERIFY(!form->XD()->isEnabled());
    QVERIFY(form->OpenIndex()->isEnabled());
    form->XD()->trigger();
    QCOMPARE(m_fixture->search.runs, 0);
    form->FileMenu()->close();
    m_fixture->search.running = false;
    rightClick(form->File1()->viewport(), entryCentre(*form->File1(), 0));
    QTRY_VERIFY(form->FileMenu()->isVisible());
    QVERIFY(form->XD()->isEnabled());
    form->FileMenu()->close();
}

void TestChooserMenu::searchHidesTheChooserAndRunsOnTheMarkedEntries()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    clickEntry(*form->File1(), 0);
    clickEntry(*form->File1(), 1, Qt::ControlModifier);
    bool hiddenDuringRun = false;
    m_fixture->search.whileRunning = [&] {
        hiddenDuringRun = !form->isVisible() && m_fixture->slot->isChooserLoaded();
    };
    rightClick(form->File1()->viewport(), entryCentre(*form->File1(), 1));
    QTRY_VERIFY(form->FileMenu()->isVisible());
    QTest::mouseClick(form->FileMenu(), Qt::LeftButton, {},
                      form->FileMenu()->actionGeometry(form->XD()).center());
    QCOMPARE(m_fixture->search.runs, 1);
    QVERIFY(hiddenDuringRun);
    QCOMPARE(m_fixture->search.folder, m_fixture->b);
    QCOMPARE(m_fixture->search.entryCount, 2);
    QCOMPARE(m_fixture->search.marked,
             (QStringList{QStringLiteral("b1.txt"), QStringLiteral("b2.doc")}));
    // Hidden, not unloaded: showing it again brings it back as it was.
    QVERIFY(!form->isVisible());
    QVERIFY(m_fixture->lastLocationBytes().isEmpty());
    QCOMPARE(m_fixture->show(), form);
    QVERIFY(form->isVisible());
    QCOMPARE(selectedRows(*form->File1()), (QList<int>{0, 1}));
    QCOMPARE(form->Combo1()->count(), 6);
}

void TestChooserMenu::openHandsEachSelectedFileToTheShellInListOrder()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QString folder = m_fixture->b + QStringLiteral("/open");
    QVERIFY(ChooserFixture::makeFolder(
        folder, {QStringLiteral("e0.txt"), QStringLiteral("e1.txt"), QStringLiteral(u"e2 中文.txt"),
                 QStringLiteral("e3.txt"), QStringLiteral("e4.txt")}));
    QVERIFY(form->Dir1()->setPath(folder));
    platform::FileList *files = form->File1();
    clickEntry(*files, 3);
    clickEntry(*files, 0, Qt::ControlModifier);
    clickEntry(*files, 2, Qt::ControlModifier);
    rightClick(files->viewport(), entryCentre(*files, 2));
    QTRY_VERIFY(form->FileMenu()->isVisible());
    QTest::mouseClick(form->FileMenu(), Qt::LeftButton, {},
                      form->FileMenu()->actionGeometry(form->OpenIndex()).center());
    const QList<ShellRequest> &requests = m_fixture->shell.requests;
    QCOMPARE(requests.size(), 3);
    const QStringList expected{QStringLiteral("e0.txt"), QStringLiteral(u"e2 中文.txt"),
                               QStringLiteral("e3.txt")};
    for (qsizetype i = 0; i < requests.size(); ++i) {
        QCOMPARE(requests[i].file, expected[i]);
        QCOMPARE(requests[i].owner, files);
        QCOMPARE(requests[i].verb, QStringLiteral("open"));
        QCOMPARE(requests[i].parameters, QString());
        QCOMPARE(requests[i].workingFolder, folder + QLatin1Char('/'));
        QCOMPARE(requests[i].showState, 9);
    }
    // The chooser stays as it was.
    QVERIFY(form->isVisible());
    QCOMPARE(selectedRows(*files), (QList<int>{0, 2, 3}));
}

void TestChooserMenu::openWithNothingSelectedMakesNoRequest()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(selectedRows(*form->File1()).isEmpty());
    form->OpenIndex()->trigger();
    QVERIFY(m_fixture->shell.requests.isEmpty());
    QVERIFY(m_fixture->dialogs.messages.isEmpty());
}

void TestChooserMenu::reloadWithAnEmptyKeywordUnloadsAndSaves_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("an empty answer") << false;
    QTest::newRow("a cancelled prompt") << true;
}

void TestChooserMenu::reloadWithAnEmptyKeywordUnloadsAndSaves()
{
    QFETCH(bool, cancelled);
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QPointer<Form4> guard(form);
    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    if (!cancelled)
        m_fixture->dialogs.answers = {QString()}; // an empty queue answers like Cancel
    QTest::mouseClick(form->Command1(), Qt::LeftButton);
    QCOMPARE(m_fixture->dialogs.prompts, QStringList{QStringLiteral(u"请输入关键字：？")});
    QCOMPARE(m_fixture->dialogs.messages, QStringList{QStringLiteral(u"关键字为空！！！")});
    QCOMPARE(m_fixture->dialogs.titles,
             (QStringList{QStringLiteral("Quarlex"), QStringLiteral("Quarlex")}));
    QCOMPARE(m_fixture->dialogs.lastParent, form);
    QVERIFY(m_fixture->prompt.StrKey().isEmpty());
    QVERIFY(!m_fixture->slot->isChooserLoaded());
    QCOMPARE(m_fixture->lastLocationBytes(), lastLocationFileBytes(m_fixture->b, m_fixture->b));
    QTRY_VERIFY(guard.isNull());
}

void TestChooserMenu::reloadWithAKeywordKeepsTheChooser()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    clickEntry(*form->File1(), 1);
    m_fixture->dialogs.answers = {QStringLiteral("  ")};
    QTest::mouseClick(form->Command1(), Qt::LeftButton);
    QCOMPARE(m_fixture->prompt.StrKey(), QStringLiteral("  "));
    QVERIFY(m_fixture->dialogs.messages.isEmpty());
    QCOMPARE(m_fixture->slot->chooser(), form);
    QVERIFY(form->isVisible());
    QCOMPARE(selectedRows(*form->File1()), QList<int>{1});
    QVERIFY(m_fixture->lastLocationBytes().isEmpty());
}

QTEST_MAIN(TestChooserMenu)
#include "tst_chooser_menu.moc"
