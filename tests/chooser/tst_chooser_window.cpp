#include "chooser_fixture.h"

#include "chooser/chooser_window.h"
#include "chooser/type_filter.h"
#include "platform/widgets/drive_list.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

using chooser::Form4;

// The chooser window itself: its frame and controls, what its load procedure sets up, the last
// location it restores and writes, and its life in the slot.
class TestChooserWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void isAFixedToolWindowWithOnlyACloseBox();
    void controlsLieAtTheirDesignPositions_data();
    void controlsLieAtTheirDesignPositions();
    void controlsOverlapAsDesigned();
    void tabOrderRunsFromTheFileListToTheLastButton();
    void captionsMenuAndPointer();

    void loadFillsTheFilterAndListsAllFiles();
    void firstRunOpensOnTheWorkingFolderAndClosingWritesTheFile();
    void savedLocationIsRestored_data();
    void savedLocationIsRestored();
    void loadHideShowAndUnload();

private:
    std::unique_ptr<ChooserFixture> m_fixture;
};

void TestChooserWindow::init()
{
    m_fixture = std::make_unique<ChooserFixture>();
    QVERIFY(m_fixture->setUp());
}

void TestChooserWindow::cleanup()
{
    closePopups();
    m_fixture.reset();
}

void TestChooserWindow::isAFixedToolWindowWithOnlyACloseBox()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QCOMPARE(form->windowTitle(), QStringLiteral(u"选择导入数据的路径"));
    const Qt::WindowFlags flags = form->windowFlags();
    QCOMPARE(form->windowType(), Qt::Tool);
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    QCOMPARE(form->minimumSize(), QSize(312, 229));
    QCOMPARE(form->maximumSize(), QSize(312, 229));
    QCOMPARE(form->size(), QSize(312, 229));
}

void TestChooserWindow::controlsLieAtTheirDesignPositions_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("the file list, larger than the window") << "File1" << QRect(128, 0, 233, 234);
    QTest::newRow("the folder list") << "Dir1" << QRect(0, 24, 129, 188);
    QTest::newRow("the drive list") << "Drive1" << QRect(0, 0, 129, 20);
    QTest::newRow("the type filter") << "Combo1" << QRect(0, 208, 129, 20);
    QTest::newRow("ReLoad") << "Command1" << QRect(256, 0, 57, 17);
    QTest::newRow("paging up") << "Command2" << QRect(296, 48, 17, 41);
    QTest::newRow("paging down") << "command3" << QRect(296, 104, 17, 41);
}

void TestChooserWindow::controlsLieAtTheirDesignPositions()
{
    QFETCH(QString, control);
    QFETCH(QRect, geometry);
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QHash<QString, QWidget *> controls{{QStringLiteral("File1"), form->File1()},
                                             {QStringLiteral("Dir1"), form->Dir1()},
                                             {QStringLiteral("Drive1"), form->Drive1()},
                                             {QStringLiteral("Combo1"), form->Combo1()},
                                             {QStringLiteral("Command1"), form->Command1()},
                                             {QStringLiteral("Command2"), form->Command2()},
                                             {QStringLiteral("command3"), form->command3()}};
    QCOMPARE(controls.value(control)->geometry(), geometry);
}

void TestChooserWindow::controlsOverlapAsDesigned()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    // The file list's scroll bar side and bottom strip lie outside the window.
    QVERIFY(form->File1()->geometry().right() >= form->width());
    QVERIFY(form->File1()->geometry().bottom() >= form->height());
    // Whatever lies over the file list is in front of it.
    auto frontAt = [form](QWidget *expected, QPoint at) {
        QWidget *hit = form->childAt(at);
        return hit && (hit == expected || expected->isAncestorOf(hit));
    };
    QVERIFY(frontAt(form->Command1(), form->Command1()->geometry().center()));
    QVERIFY(frontAt(form->Command2(), form->Command2()->geometry().center()));
    QVERIFY(frontAt(form->command3(), form->command3()->geometry().center()));
    QVERIFY(frontAt(form->Dir1(), QPoint(128, 100)));
    QVERIFY(frontAt(form->Combo1(), QPoint(60, 210)));
    QVERIFY(frontAt(form->File1(), QPoint(200, 100)));
}

void TestChooserWindow::tabOrderRunsFromTheFileListToTheLastButton()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QList<QWidget *> order{form->File1(),   form->Dir1(),     form->Drive1(),
                                 form->Combo1(),  form->Command1(), form->Command2(),
                                 form->command3()};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        QWidget *next = order[i]->nextInFocusChain();
        // An editable combo box's line edit follows the combo box itself.
        while (next && next != order[i + 1] && order[i]->isAncestorOf(next))
            next = next->nextInFocusChain();
        QCOMPARE(next, order[i + 1]);
    }
}

void TestChooserWindow::captionsMenuAndPointer()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QCOMPARE(form->Command1()->text(), QStringLiteral("ReLoad"));
    QCOMPARE(form->Command2()->text(), QStringLiteral(u"▲■"));
    QCOMPARE(form->command3()->text(), QStringLiteral(u"■▼"));
    const QList<QAction *> items = form->FileMenu()->actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0], form->XD());
    QCOMPARE(items[0]->text(), QStringLiteral(u"选定"));
    QCOMPARE(items[1], form->OpenIndex());
    QCOMPARE(items[1]->text(), QStringLiteral(u"打开"));
    const QCursor pointer = form->Command1()->cursor();
    QCOMPARE(pointer.shape(), Qt::BitmapCursor);
    QCOMPARE(pointer.hotSpot(), QPoint(6, 7));
}

void TestChooserWindow::loadFillsTheFilterAndListsAllFiles()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QStringList items;
    for (int i = 0; i < form->Combo1()->count(); ++i)
        items.append(form->Combo1()->itemText(i));
    QCOMPARE(items, chooser::filterItemTexts());
    QCOMPARE(form->Combo1()->currentText(), QStringLiteral(u"全部文件（*.*）"));
    QCOMPARE(form->File1()->pattern(), QStringLiteral("*.*"));
    QCOMPARE(entryNames(*form->File1()),
             (QStringList{QStringLiteral("w1.txt"), QStringLiteral("w2.txt")}));
}

void TestChooserWindow::firstRunOpensOnTheWorkingFolderAndClosingWritesTheFile()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QCOMPARE(form->IniDrive(), QString());
    QCOMPARE(form->Drive1()->drive(), m_fixture->driveA());
    QCOMPARE(form->Dir1()->path(), m_fixture->a + QStringLiteral("/work"));
    QCOMPARE(form->File1()->path(), m_fixture->a + QStringLiteral("/work"));
    QVERIFY(m_fixture->lastLocationBytes().isEmpty());
    form->close(); // the close box
    QVERIFY(!m_fixture->slot->isChooserLoaded());
    QCOMPARE(m_fixture->lastLocationBytes(),
             lastLocationFileBytes(m_fixture->driveA(), m_fixture->a + QStringLiteral("/work")));
}

void TestChooserWindow::savedLocationIsRestored_data()
{
    QTest::addColumn<QString>("savedDrive");
    QTest::addColumn<QString>("savedPath");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("folder");

    // Paths relative to the fixture's folder; "A" stands for drive A's text.
    QTest::newRow("the saved drive and folder") << "b"
                                                << "b/x"
                                                << "b"
                                                << "b/x";
    QTest::newRow("a drive whose label changed meanwhile") << "a [OLD]"
                                                           << "a"
                                                           << "A"
                                                           << "a";
    QTest::newRow("a folder cut at a comma that does not exist stays on the drive's folder")
        << "b"
        << "b/q,r"
        << "b"
        << "b";
    QTest::newRow("a folder cut at a comma that exists is shown") << "b"
                                                                  << "b/x,r"
                                                                  << "b"
                                                                  << "b/x";
    QTest::newRow("a vanished folder stays on the saved drive's folder") << "b"
                                                                         << "b/vanished"
                                                                         << "b"
                                                                         << "b";
    QTest::newRow("a drive without a medium stays on the working folder") << "cd [CD]"
                                                                          << "cd/sub"
                                                                          << "A"
                                                                          << "a/work";
    QTest::newRow("an empty drive line leaves the working folder") << ""
                                                                   << "b/x"
                                                                   << "A"
                                                                   << "a/work";
}

void TestChooserWindow::savedLocationIsRestored()
{
    QFETCH(QString, savedDrive);
    QFETCH(QString, savedPath);
    QFETCH(QString, drive);
    QFETCH(QString, folder);
    const QString root = m_fixture->dir.path() + QLatin1Char('/');
    QVERIFY(m_fixture->writeLastLocation(savedDrive.isEmpty() ? QString() : root + savedDrive,
                                         root + savedPath));
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QString expectedDrive = drive == QStringLiteral("A") ? m_fixture->driveA() : root + drive;
    QCOMPARE(form->Drive1()->drive(), expectedDrive);
    QCOMPARE(form->Dir1()->path(), root + folder);
    QCOMPARE(form->File1()->path(), root + folder);
}

void TestChooserWindow::loadHideShowAndUnload()
{
    chooser::ChooserSlot &slot = *m_fixture->slot;
    QVERIFY(!slot.isChooserLoaded());
    slot.unloadChooser(); // nothing to unload
    QVERIFY(m_fixture->lastLocationBytes().isEmpty());

    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(slot.isChooserLoaded());
    QVERIFY(form->isVisible());
    clickEntry(*form->File1(), 0);
    QVERIFY(form->Dir1()->setPath(m_fixture->b + QStringLiteral("/y")));
    QVERIFY(form->Dir1()->setPath(m_fixture->a + QStringLiteral("/work")));
    clickEntry(*form->File1(), 1);

    slot.slot().hide();
    QVERIFY(!form->isVisible());
    QVERIFY(slot.isChooserLoaded());
    QVERIFY(m_fixture->lastLocationBytes().isEmpty());

    QCOMPARE(m_fixture->show(), form);
    QCOMPARE(form->Combo1()->count(), 6); // the load procedure did not run again
    QCOMPARE(selectedRows(*form->File1()), QList<int>{1});

    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    QCOMPARE(form->Dir1()->path(), m_fixture->b + QStringLiteral("/y"));
    QPointer<Form4> old(form);
    slot.unloadChooser();
    QVERIFY(!slot.isChooserLoaded());
    QCOMPARE(m_fixture->lastLocationBytes(),
             lastLocationFileBytes(m_fixture->b, m_fixture->b + QStringLiteral("/y")));
    QTRY_VERIFY(old.isNull());

    // Loaded anew: the load procedure runs and restores the saved drive and folder.
    Form4 *again = m_fixture->show();
    QVERIFY(again);
    QCOMPARE(again->Combo1()->count(), 6);
    QCOMPARE(again->IniDrive(), m_fixture->b);
    QCOMPARE(again->IniPath(), m_fixture->b + QStringLiteral("/y"));
    QCOMPARE(again->Drive1()->drive(), m_fixture->b);
    QCOMPARE(again->Dir1()->path(), m_fixture->b + QStringLiteral("/y"));
    QVERIFY(selectedRows(*again->File1()).isEmpty());
    // Drive A still remembers its folder for the session.
    QVERIFY(again->Drive1()->setDrive(m_fixture->driveA()));
    QCOMPARE(again->Dir1()->path(), m_fixture->a + QStringLiteral("/work"));
}

QTEST_MAIN(TestChooserWindow)
#include "tst_chooser_window.moc"
