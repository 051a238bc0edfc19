#include "chooser_fixture.h"

#include "chooser/chooser_window.h"
#include "chooser/type_filter.h"
#include "platform/widgets/drive_list.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using chooser::Form4;

namespace {

QStringList numbered(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("p%1.txt").arg(i, 3, 10, QLatin1Char('0')));
    return names;
}

const QStringList kTypeFiles{
    QStringLiteral("a.exe"),    QStringLiteral("b.txt"),  QStringLiteral("c.asp"),
    QStringLiteral("d.js"),     QStringLiteral("e.html"), QStringLiteral("f.htm"),
    QStringLiteral("g.jpg"),    QStringLiteral("h.jpeg"), QStringLiteral("i.bmp"),
    QStringLiteral("j.png"),    QStringLiteral("k.gif"),  QStringLiteral("l.doc"),
    QStringLiteral("Makefile"), QStringLiteral("m.TXT")};

} // namespace

// The coupled drive, folder and file lists, the type filter and the paging buttons, driven with
// the mouse and the keyboard.
class TestChooserLists : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void settingTheDriveMovesFolderAndFileLists();
    void choosingADriveWithoutAMediumChangesNothing();
    void openingAFolderMovesTheFileList();
    void aVanishedFolderLeavesTheChooserUsable();

    void filterItems_data();
    void filterItems();
    void typedPatterns_data();
    void typedPatterns();

    void paging_data();
    void paging();
    void pagingAnEmptyListDoesNothing();

private:
    // The chooser showing a folder of files of every filter type; null when that failed.
    Form4 *showTypeFiles();

    std::unique_ptr<ChooserFixture> m_fixture;
};

void TestChooserLists::init()
{
    m_fixture = std::make_unique<ChooserFixture>();
    QVERIFY(m_fixture->setUp());
}

void TestChooserLists::cleanup()
{
    closePopups();
    m_fixture.reset();
}

Form4 *TestChooserLists::showTypeFiles()
{
    Form4 *form = m_fixture->show();
    const QString folder = m_fixture->b + QStringLiteral("/types");
    if (!form || !ChooserFixture::makeFolder(folder, kTypeFiles) || !form->Dir1()->setPath(folder))
        return nullptr;
    return form;
}

void TestChooserLists::settingTheDriveMovesFolderAndFileLists()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    QCOMPARE(form->Dir1()->path(), m_fixture->b);
    QCOMPARE(form->File1()->path(), m_fixture->b);
    QCOMPARE(entryNames(*form->File1()),
             (QStringList{QStringLiteral("b1.txt"), QStringLiteral("b2.doc")}));
    // Back to A by the keyboard, as a user would: A is still in its folder.
    form->Drive1()->setFocus();
    QTest::keyClick(form->Drive1(), Qt::Key_Up);
    QCOMPARE(form->Drive1()->drive(), m_fixture->driveA());
    QCOMPARE(form->Dir1()->path(), m_fixture->a + QStringLiteral("/work"));
    QCOMPARE(entryNames(*form->File1()),
             (QStringList{QStringLiteral("w1.txt"), QStringLiteral("w2.txt")}));
}

void TestChooserLists::choosingADriveWithoutAMediumChangesNothing()
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

void TestChooserLists::openingAFolderMovesTheFileList()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Drive1()->setDrive(m_fixture->b));
    QVERIFY(doubleClickFolder(*form->Dir1(), QStringLiteral("x")));
    QCOMPARE(form->Dir1()->path(), m_fixture->b + QStringLiteral("/x"));
    QCOMPARE(form->File1()->path(), m_fixture->b + QStringLiteral("/x"));
    QCOMPARE(entryNames(*form->File1()), QStringList{QStringLiteral("inside.txt")});
}

void TestChooserLists::aVanishedFolderLeavesTheChooserUsable()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    QVERIFY(form->Dir1()->setPath(m_fixture->b + QStringLiteral("/x")));
    QVERIFY(QDir(m_fixture->b + QStringLiteral("/x")).removeRecursively());
    // The file list cannot be read again; it keeps what it showed.
    QVERIFY(!form->File1()->refresh());
    QCOMPARE(entryNames(*form->File1()), QStringList{QStringLiteral("inside.txt")});
    clickEntry(*form->File1(), 0);
    QTest::mouseClick(form->command3(), Qt::LeftButton);
    QCOMPARE(selectedRows(*form->File1()), QList<int>{0});
    // Opening a folder that vanished changes nothing; going up works.
    QVERIFY(!form->Dir1()->setPath(m_fixture->b + QStringLiteral("/x")));
    QVERIFY(doubleClickFolder(*form->Dir1(), m_fixture->b));
    QCOMPARE(form->Dir1()->path(), m_fixture->b);
    QCOMPARE(form->File1()->path(), m_fixture->b);
}

void TestChooserLists::filterItems_data()
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

void TestChooserLists::filterItems()
{
    QFETCH(int, index);
    QFETCH(QStringList, listed);
    Form4 *form = showTypeFiles();
    QVERIFY(form);
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
    QCOMPARE(entryNames(*form->File1()), listed);
}

void TestChooserLists::typedPatterns_data()
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

void TestChooserLists::typedPatterns()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, listed);
    Form4 *form = showTypeFiles();
    QVERIFY(form);
    QLineEdit *edit = form->Combo1()->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QCOMPARE(form->Combo1()->currentText(), typed);
    QCOMPARE(form->File1()->pattern(), typed);
    QCOMPARE(entryNames(*form->File1()), listed);
    // Clearing the text lists all files again.
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(form->Combo1()->currentText(), QString());
    QCOMPARE(form->File1()->pattern(), QStringLiteral("*.*"));
    QCOMPARE(form->File1()->entryCount(), kTypeFiles.size());
}

void TestChooserLists::paging_data()
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

void TestChooserLists::paging()
{
    QFETCH(int, count);
    QFETCH(int, current);
    QFETCH(QList<int>, marked);
    QFETCH(QString, clicks);
    QFETCH(int, selected);
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QString folder = m_fixture->b + QStringLiteral("/pages%1").arg(count);
    QVERIFY(ChooserFixture::makeFolder(folder, numbered(count)));
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

void TestChooserLists::pagingAnEmptyListDoesNothing()
{
    Form4 *form = m_fixture->show();
    QVERIFY(form);
    const QString folder = m_fixture->b + QStringLiteral("/empty");
    QVERIFY(ChooserFixture::makeFolder(folder, {}));
    QVERIFY(form->Dir1()->setPath(folder));
    QCOMPARE(form->File1()->entryCount(), 0);
    QTest::mouseClick(form->Command2(), Qt::LeftButton);
    QTest::mouseClick(form->command3(), Qt::LeftButton);
    QCOMPARE(form->File1()->listIndex(), -1);
    QVERIFY(form->isVisible());
}

QTEST_MAIN(TestChooserLists)
#include "tst_chooser_lists.moc"
