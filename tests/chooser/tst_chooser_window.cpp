#include "chooser_fixture.h"

#include "chooser/chooser_window.h"
#include "chooser/type_filter.h"
#include "platform/widgets/drive_list.h"
#include "platform/widgets/file_list.h"
#include "platform/widgets/folder_list.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStringEncoder>
#include <QTreeWidgetItem>

namespace {

QStringList entries(const platform::FileList &list)
{
    QStringList names;
    for (int i = 0; i < list.entryCount(); ++i)
        names.append(list.entryName(i));
    return names;
}

QList<int> selectedRows(const platform::FileList &list)
{
    QList<int> rows;
    for (int i = 0; i < list.entryCount(); ++i) {
        if (list.isEntrySelected(i))
            rows.append(i);
    }
    return rows;
}

QPoint entryCentre(const platform::FileList &list, int row)
{
    return list.visualItemRect(list.item(row)).center();
}

void clickEntry(platform::FileList &list, int row, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, entryCentre(list, row));
}

void rightClick(QWidget *widget, QPoint at)
{
    QTest::mousePress(widget, Qt::RightButton, {}, at);
    QTest::mouseRelease(widget, Qt::RightButton, {}, at);
}

void doubleClickFolder(platform::FolderList &list, const QString &name)
{
    QTreeWidgetItem *found = nullptr;
    for (QTreeWidgetItemIterator it(&list); *it; ++it) {
        if ((*it)->text(0) == name)
            found = *it;
    }
    QVERIFY2(found, qPrintable(name));
    // On the start of the row: a long name reaches beyond the narrow list.
    const QRect row = list.visualItemRect(found);
    const QPoint at =
        list.viewport()->mapTo(list.window(), QPoint(row.left() + 4, row.center().y()));
    QTest::mouseDClick(list.window()->windowHandle(), Qt::LeftButton, {}, at);
}

QString makeFolder(const QString &folder, const QStringList &names)
{
    QDir().mkpath(folder);
    for (const QString &name : names)
        ChooserFixture::touch(folder + QLatin1Char('/') + name);
    return folder;
}

QStringList numbered(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("p%1.txt").arg(i, 3, 10, QLatin1Char('0')));
    return names;
}

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QByteArray lastLocation(const QString &drive, const QString &path)
{
    return gbk(QStringLiteral(u"[路径]\r\n") + drive + QStringLiteral("\r\n") + path +
               QStringLiteral(u"\r\n[/路径]\r\n"));
}

const QStringList kTypeFiles{
    QStringLiteral("a.exe"),    QStringLiteral("b.txt"),  QStringLiteral("c.asp"),
    QStringLiteral("d.js"),     QStringLiteral("e.html"), QStringLiteral("f.htm"),
    QStringLiteral("g.jpg"),    QStringLiteral("h.jpeg"), QStringLiteral("i.bmp"),
    QStringLiteral("j.png"),    QStringLiteral("k.gif"),  QStringLiteral("l.doc"),
    QStringLiteral("Makefile"), QStringLiteral("m.TXT")};

} // namespace

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

    void settingTheDriveMovesFolderAndFileLists();
    void choosingADriveWithoutAMediumChangesNothing();
    void openingAFolderMovesTheFileList();
    void aVanishedFolderLeavesTheChooserUsable();

    void rightReleaseOverTheFileListOpensTheMenu();
    void leftButtonAndOtherControlsOpenNoMenu();
    void searchIsUnavailableWhileOneRuns();
    void searchHidesTheChooserAndRunsOnTheMarkedEntries();
    void openHandsEachSelectedFileToTheShellInListOrder();
    void openWithNothingSelectedMakesNoRequest();

    void filterItems_data();
    void filterItems();
    void typedPatterns_data();
    void typedPatterns();

    void paging_data();
    void paging();
    void pagingAnEmptyListDoesNothing();

    void reloadWithAnEmptyKeywordUnloadsAndSaves_data();
    void reloadWithAnEmptyKeywordUnloadsAndSaves();
    void reloadWithAKeywordKeepsTheChooser();
    void loadHideShowAndUnload();

private:
    std::unique_ptr<ChooserFixture> m_fixture;
};

void TestChooserWindow::init()
{
    m_fixture = std::make_unique<ChooserFixture>();
    QVERIFY(m_fixture->dir.isValid());
}

void TestChooserWindow::cleanup()
{
    for (QWidget *popup = QApplication::activePopupWidget(); popup;
         popup = QApplication::activePopupWidget())
        popup->close();
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
    QCOMPARE(entries(*form->File1()),
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
             lastLocation(m_fixture->driveA(), m_fixture->a + QStringLiteral("/work")));
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
    m_fixture->writeLastLocation(savedDrive.isEmpty() ? QString() : root + savedDrive,
                                 root + savedPath);
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QString expectedDrive = drive == QStringLiteral("A") ? m_fixture->driveA() : root + drive;
    QCOMPARE(form->Drive1()->drive(), expectedDrive);
    QCOMPARE(form->Dir1()->path(), root + folder);
    QCOMPARE(form->File1()->path(), root + folder);
}

void TestChooserWindow::settingTheDriveMovesFolderAndFileLists()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    QCOMPARE(form->Dir1()->path(), m_fixture->b);
    QCOMPARE(form->File1()->path(), m_fixture->b);
    QCOMPARE(entries(*form->File1()),
             (QStringList{QStringLiteral("b1.txt"), QStringLiteral("b2.doc")}));
    // Back to A by the keyboard, as a user would: A is still in its folder.
    form->Drive1()->setFocus();
    QTest::keyClick(form->Drive1(), Qt::Key_Up);
    QCOMPARE(form->Drive1()->drive(), m_fixture->driveA());
    QCOMPARE(form->Dir1()->path(), m_fixture->a + QStringLiteral("/work"));
    QCOMPARE(entries(*form->File1()),
             (QStringList{QStringLiteral("w1.txt"), QStringLiteral("w2.txt")}));
}

void TestChooserWindow::choosingADriveWithoutAMediumChangesNothing()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    clickEntry(*form->File1(), 1);
    form->Drive1()->setFocus();
    QTest::keyClick(form->Drive1(), Qt::Key_Down); // to the drive without a medium
    QCOMPARE(form->Drive1()->drive(), m_fixture->b);
    QCOMPARE(form->Dir1()->path(), m_fixture->b);
    QCOMPARE(form->File1()->path(), m_fixture->b);
    QCOMPARE(selectedRows(*form->File1()), QList<int>{1});
    QVERIFY(!form->Drive1()->setDrive(m_fixture->gone + QStringLiteral(" [CD]")));
    QCOMPARE(form->Dir1()->path(), m_fixture->b);
    QVERIFY(m_fixture->dialogs.messages.isEmpty());
}

void TestChooserWindow::openingAFolderMovesTheFileList()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    doubleClickFolder(*form->Dir1(), QStringLiteral("x"));
    QCOMPARE(form->Dir1()->path(), m_fixture->b + QStringLiteral("/x"));
    QCOMPARE(form->File1()->path(), m_fixture->b + QStringLiteral("/x"));
    QCOMPARE(entries(*form->File1()), QStringList{QStringLiteral("inside.txt")});
}

void TestChooserWindow::aVanishedFolderLeavesTheChooserUsable()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Dir1()->setPath(m_fixture->b + QStringLiteral("/x")));
    QVERIFY(QDir(m_fixture->b + QStringLiteral("/x")).removeRecursively());
    // The file list cannot be read again; it keeps what it showed.
    QVERIFY(!form->File1()->refresh());
    QCOMPARE(entries(*form->File1()), QStringList{QStringLiteral("inside.txt")});
    clickEntry(*form->File1(), 0);
    QTest::mouseClick(form->command3(), Qt::LeftButton);
    QCOMPARE(selectedRows(*form->File1()), QList<int>{0});
    // Opening a folder that vanished changes nothing; going up works.
    QVERIFY(!form->Dir1()->setPath(m_fixture->b + QStringLiteral("/x")));
    doubleClickFolder(*form->Dir1(), m_fixture->b);
    QCOMPARE(form->Dir1()->path(), m_fixture->b);
    QCOMPARE(form->File1()->path(), m_fixture->b);
}

void TestChooserWindow::rightReleaseOverTheFileListOpensTheMenu()
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

void TestChooserWindow::leftButtonAndOtherControlsOpenNoMenu()
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

void TestChooserWindow::searchIsUnavailableWhileOneRuns()
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

void TestChooserWindow::searchHidesTheChooserAndRunsOnTheMarkedEntries()
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
    QCOMPARE(form->Combo1()->count(), 5);
}

void TestChooserWindow::openHandsEachSelectedFileToTheShellInListOrder()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QString folder = makeFolder(m_fixture->b + QStringLiteral("/open"),
                                      {QStringLiteral("e0.txt"), QStringLiteral("e1.txt"),
                                       QStringLiteral(u"e2 中文.txt"), QStringLiteral("e3.txt"),
                                       QStringLiteral("e4.txt")});
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

void TestChooserWindow::openWithNothingSelectedMakesNoRequest()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(selectedRows(*form->File1()).isEmpty());
    form->OpenIndex()->trigger();
    QVERIFY(m_fixture->shell.requests.isEmpty());
    QVERIFY(m_fixture->dialogs.messages.isEmpty());
}

void TestChooserWindow::filterItems_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("programs") << 0 << QStringList{QStringLiteral("a.exe")};
    QTest::newRow("text files, whatever the case of the extension")
        << 1 << QStringList{QStringLiteral("b.txt"), QStringLiteral("m.TXT")};
    QTest::newRow("web pages list scripts and both HTML endings")
        << 2
        << QStringList{QStringLiteral("c.asp"), QStringLiteral("d.js"), QStringLiteral("e.html"),
                       QStringLiteral("f.htm")};
    QTest::newRow("pictures list JPEG and PNG too")
        << 3
        << QStringList{QStringLiteral("g.jpg"), QStringLiteral("h.jpeg"), QStringLiteral("i.bmp"),
                       QStringLiteral("j.png"), QStringLiteral("k.gif")};
    QTest::newRow("all files, names without a dot too") << 4 << QStringList();
}

void TestChooserWindow::filterItems()
{
    QFETCH(int, index);
    QFETCH(QStringList, listed);
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Dir1()->setPath(makeFolder(m_fixture->b + QStringLiteral("/types"), kTypeFiles)));
    if (listed.isEmpty()) {
        listed = kTypeFiles;
        listed.sort(Qt::CaseInsensitive);
    }
    // Another item first, so that choosing the one of this row is a change.
    form->Combo1()->setCurrentIndex(index == 0 ? 1 : 0);
    QComboBox *combo = form->Combo1();
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    QTRY_VERIFY(view->isVisible());
    const QRect item = view->visualRect(combo->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!view->isVisible());
    QCOMPARE(combo->currentText(), chooser::filterItemTexts().at(index));
    QCOMPARE(form->File1()->pattern(), chooser::patternForItem(index));
    QCOMPARE(entries(*form->File1()), listed);
}

void TestChooserWindow::typedPatterns_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("a typed extension lists those files")
        << "*.doc" << QStringList{QStringLiteral("l.doc")};
    QTest::newRow("several typed patterns")
        << "*.TXT;*.gif"
        << QStringList{QStringLiteral("b.txt"), QStringLiteral("k.gif"), QStringLiteral("m.TXT")};
    QTest::newRow("a word matches a file of that very name")
        << "makefile" << QStringList{QStringLiteral("Makefile")};
    QTest::newRow("a word that names no file lists nothing") << "report" << QStringList();
}

void TestChooserWindow::typedPatterns()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, listed);
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Dir1()->setPath(makeFolder(m_fixture->b + QStringLiteral("/types"), kTypeFiles)));
    QLineEdit *edit = form->Combo1()->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QCOMPARE(form->Combo1()->currentText(), typed);
    QCOMPARE(form->File1()->pattern(), typed);
    QCOMPARE(entries(*form->File1()), listed);
    // Clearing the text lists all files again.
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(form->Combo1()->currentText(), QString());
    QCOMPARE(form->File1()->pattern(), QStringLiteral("*.*"));
    QCOMPARE(form->File1()->entryCount(), kTypeFiles.size());
}

void TestChooserWindow::paging_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("current");
    QTest::addColumn<QList<int>>("marked");
    QTest::addColumn<QString>("clicks"); // u: ▲■, d: ■▼
    QTest::addColumn<int>("selected");

    QTest::newRow("up from 50 of 100 with several marked leaves only 30")
        << 100 << 50 << QList<int>{10, 50, 70, 99} << "u" << 30;
    QTest::newRow("up from 5 falls back to the first entry")
        << 100 << 5 << QList<int>{5} << "u" << 0;
    QTest::newRow("down without a current entry goes to 19")
        << 100 << -1 << QList<int>{} << "d" << 19;
    QTest::newRow("down without a current entry in 10 entries selects the last")
        << 10 << -1 << QList<int>{} << "d" << 9;
    QTest::newRow("down from 25 of 30 falls back to the last entry")
        << 30 << 25 << QList<int>{25, 26} << "d" << 29;
    QTest::newRow("clicks go on from the entry selected before")
        << 100 << 50 << QList<int>{} << "ddd" << 99;
    QTest::newRow("up and down return to where they began")
        << 100 << 50 << QList<int>{} << "ud" << 50;
    QTest::newRow("up without a current entry selects the first")
        << 100 << -1 << QList<int>{3, 4} << "u" << 0;
}

void TestChooserWindow::paging()
{
    QFETCH(int, count);
    QFETCH(int, current);
    QFETCH(QList<int>, marked);
    QFETCH(QString, clicks);
    QFETCH(int, selected);
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QString folder =
        makeFolder(m_fixture->b + QStringLiteral("/pages%1").arg(count), numbered(count));
    QVERIFY(form->Dir1()->setPath(folder));
    platform::FileList *files = form->File1();
    QCOMPARE(files->entryCount(), count);
    QCOMPARE(files->listIndex(), -1);
    if (current >= 0)
        files->selectionModel()->setCurrentIndex(files->model()->index(current, 0),
                                                 QItemSelectionModel::NoUpdate);
    for (int row : marked)
        files->setEntrySelected(row, true);
    QCOMPARE(files->listIndex(), current);
    QCOMPARE(selectedRows(*files), marked);
    for (QChar click : clicks)
        QTest::mouseClick(click == QLatin1Char('u') ? form->Command2() : form->command3(),
                          Qt::LeftButton);
    QCOMPARE(selectedRows(*files), QList<int>{selected});
    QCOMPARE(files->listIndex(), selected);
}

void TestChooserWindow::pagingAnEmptyListDoesNothing()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Dir1()->setPath(makeFolder(m_fixture->b + QStringLiteral("/empty"), {})));
    QCOMPARE(form->File1()->entryCount(), 0);
    QTest::mouseClick(form->Command2(), Qt::LeftButton);
    QTest::mouseClick(form->command3(), Qt::LeftButton);
    QCOMPARE(form->File1()->listIndex(), -1);
    QVERIFY(form->isVisible());
}

void TestChooserWindow::reloadWithAnEmptyKeywordUnloadsAndSaves_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("an empty answer") << false;
    QTest::newRow("a cancelled prompt") << true;
}

void TestChooserWindow::reloadWithAnEmptyKeywordUnloadsAndSaves()
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
    QCOMPARE(m_fixture->dialogs.messages, QStringList{QStringLiteral(u"Quarlex|关键字为空！！！")});
    QVERIFY(m_fixture->prompt.StrKey().isEmpty());
    QVERIFY(!m_fixture->slot->isChooserLoaded());
    QCOMPARE(m_fixture->lastLocationBytes(), lastLocation(m_fixture->b, m_fixture->b));
    QTRY_VERIFY(guard.isNull());
}

void TestChooserWindow::reloadWithAKeywordKeepsTheChooser()
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

void TestChooserWindow::loadHideShowAndUnload()
{
    ChooserSlot &slot = *m_fixture->slot;
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
    QCOMPARE(form->Combo1()->count(), 5); // the load procedure did not run again
    QCOMPARE(selectedRows(*form->File1()), QList<int>{1});

    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    QCOMPARE(form->Dir1()->path(), m_fixture->b + QStringLiteral("/y"));
    QPointer<Form4> old(form);
    slot.unloadChooser();
    QVERIFY(!slot.isChooserLoaded());
    QCOMPARE(m_fixture->lastLocationBytes(),
             lastLocation(m_fixture->b, m_fixture->b + QStringLiteral("/y")));
    QTRY_VERIFY(old.isNull());

    // Loaded anew: the load procedure runs and restores the saved drive and folder.
    Form4 *again = m_fixture->show();
    QVERIFY(again);
    QCOMPARE(again->Combo1()->count(), 5);
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
