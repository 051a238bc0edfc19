#include "fake_mounts.h"
#include "platform/core/paths.h"
#include "platform/widgets/drives.h"
#include "platform/widgets/folder_list.h"

#include <QDir>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItem>

#include <sys/stat.h>
#include <unistd.h>

using platform::Drives;
using platform::FolderList;

namespace {

// Every row of the folder list from the top: its text and its depth.
QStringList rows(const QTreeWidget &tree)
{
    QStringList list;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(&tree)); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++depth;
        list.append(QString(depth, QLatin1Char('>')) + (*it)->text(0));
    }
    return list;
}

QTreeWidgetItem *rowNamed(const QTreeWidget &tree, const QString &text)
{
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(&tree)); *it; ++it) {
        if ((*it)->text(0) == text)
            return *it;
    }
    return nullptr;
}

// A double click as the window system delivers it: two presses and releases in quick
// succession, which Qt turns into press, release, double click, release.
void doubleClick(QTreeWidget &tree, QPoint inViewport)
{
    const QPoint at = tree.viewport()->mapTo(tree.window(), inViewport);
    QTest::mouseDClick(tree.window()->windowHandle(), Qt::LeftButton, {}, at);
}

} // namespace

// The folder list: the path from the drive's root down, the subfolders, and opening a folder.
class TestFolderList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void folderListShowsAncestorsThenSubfolders();
    void doubleClickOpensAFolder();
    void enterOpensAFolder();
    void settingADriveShowsItsCurrentFolder();
    void aVanishedCurrentFolderFallsBackToTheRoot();
    void folderListRefusesWhatItCannotShow();
    void goingIntoAnotherMountKeepsTheDriveRoot();
    void aFolderWhoseNameIsNotUtf8IsShownAndOpened();
    void theListOpensAtTheWorkingFolderWhateverItsName_data();
    void theListOpensAtTheWorkingFolderWhateverItsName();
};

void TestFolderList::folderListShowsAncestorsThenSubfolders()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    QVERIFY(QDir().mkpath(mounts.a + QStringLiteral("/work/alpha")));
    QVERIFY(QDir().mkpath(mounts.a + QStringLiteral("/work/Beta")));
    QVERIFY(QDir().mkpath(mounts.a + QStringLiteral("/work/.secret")));
    QFile file(mounts.a + QStringLiteral("/work/file.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    Drives drives(mounts.source(), QStringLiteral("/"));
    FolderList list(drives);
    QSignalSpy changed(&list, &FolderList::pathChanged);
    QVERIFY(list.setDrive(mounts.a));
    QVERIFY(list.setPath(mounts.a + QStringLiteral("/work")));
    QCOMPARE(list.path(), mounts.a + QStringLiteral("/work"));
    QCOMPARE(rows(list), (QStringList{mounts.a, QStringLiteral(">work"), QStringLiteral(">>alpha"),
                                      QStringLiteral(">>Beta"), QStringLiteral(">>deeper")}));
    QCOMPARE(list.currentItem()->text(0), QStringLiteral("work"));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.last()[0].toString(), mounts.a + QStringLiteral("/work"));
    // The folder shown is its drive's current folder from now on.
    QCOMPARE(drives.currentFolder(mounts.a), mounts.a + QStringLiteral("/work"));
}

void TestFolderList::doubleClickOpensAFolder()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), QStringLiteral("/"));
    FolderList list(drives);
    list.resize(300, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.setPath(mounts.b));
    QSignalSpy changed(&list, &FolderList::pathChanged);
    QTreeWidgetItem *x = rowNamed(list, QStringLiteral("x"));
    QVERIFY(x);
    const QPoint at = list.visualItemRect(x).center();
    doubleClick(list, at);
    QCOMPARE(list.path(), mounts.b + QStringLiteral("/x"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(rows(list), (QStringList{mounts.b, QStringLiteral(">x"), QStringLiteral(">>y")}));
    // Up again through an ancestor.
    QTreeWidgetItem *root = rowNamed(list, mounts.b);
    doubleClick(list, list.visualItemRect(root).center());
    QCOMPARE(list.path(), mounts.b);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(rows(list), (QStringList{mounts.b, QStringLiteral(">x"), QStringLiteral(">Z")}));
}

void TestFolderList::enterOpensAFolder()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), QStringLiteral("/"));
    FolderList list(drives);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.setPath(mounts.b));
    QSignalSpy changed(&list, &FolderList::pathChanged);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.path(), mounts.b); // moving the highlight opens nothing
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.path(), mounts.b + QStringLiteral("/Z"));
    QCOMPARE(changed.count(), 1);
}

void TestFolderList::settingADriveShowsItsCurrentFolder()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), mounts.a + QStringLiteral("/work"));
    FolderList list(drives);
    QVERIFY(list.setDrive(mounts.a + QStringLiteral(" [DISK A]")));
    QCOMPARE(list.path(), mounts.a + QStringLiteral("/work"));
    QVERIFY(list.setDrive(mounts.b));
    QCOMPARE(list.path(), mounts.b);
    QVERIFY(list.setPath(mounts.b + QStringLiteral("/x/y")));
    QVERIFY(list.setDrive(mounts.a));
    QCOMPARE(list.path(), mounts.a + QStringLiteral("/work"));
    QVERIFY(list.setDrive(mounts.b));
    QCOMPARE(list.path(), mounts.b + QStringLiteral("/x/y"));
    // A second list of the same session finds the drives where the first one left them.
    FolderList other(drives);
    QVERIFY(other.setDrive(mounts.b));
    QCOMPARE(other.path(), mounts.b + QStringLiteral("/x/y"));
}

void TestFolderList::aVanishedCurrentFolderFallsBackToTheRoot()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), mounts.a + QStringLiteral("/work/deeper"));
    FolderList list(drives);
    QVERIFY(QDir(mounts.a + QStringLiteral("/work")).removeRecursively());
    QVERIFY(list.setDrive(mounts.a));
    QCOMPARE(list.path(), mounts.a);
}

void TestFolderList::folderListRefusesWhatItCannotShow()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    Drives drives(mounts.source(), QStringLiteral("/"));
    FolderList list(drives);
    QVERIFY(list.setPath(mounts.b + QStringLiteral("/x")));
    const QStringList before = rows(list);
    QSignalSpy changed(&list, &FolderList::pathChanged);
    QVERIFY(!list.setPath(mounts.b + QStringLiteral("/missing")));
    QVERIFY(!list.setPath(QString()));
    QVERIFY(!list.setDrive(mounts.gone + QStringLiteral(" [CD]")));
    QVERIFY(!list.setDrive(QStringLiteral("d:")));
    QCOMPARE(list.path(), mounts.b + QStringLiteral("/x"));
    QCOMPARE(rows(list), before);
    QCOMPARE(changed.count(), 0);
}

void TestFolderList::goingIntoAnotherMountKeepsTheDriveRoot()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    // Drive A is mounted inside drive B's folder tree here.
    const QString inner = mounts.b + QStringLiteral("/x");
    mounts.drives.append({inner, QStringLiteral("INNER")});
    Drives drives(mounts.source(), QStringLiteral("/"));
    FolderList list(drives);
    QVERIFY(list.setDrive(mounts.b));
    QVERIFY(list.setPath(inner + QStringLiteral("/y")));
    QCOMPARE(rows(list).first(), mounts.b);
    QCOMPARE(drives.currentFolder(mounts.b), inner + QStringLiteral("/y"));
    QCOMPARE(drives.currentFolder(inner), inner);
    // Set directly, the path shows below its own drive.
    FolderList fresh(drives);
    QVERIFY(fresh.setPath(inner + QStringLiteral("/y")));
    QCOMPARE(rows(fresh).first(), inner);
}

void TestFolderList::aFolderWhoseNameIsNotUtf8IsShownAndOpened()
{
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    // "文件" and, inside it, "测试" in GBK.
    const QByteArray outer = platform::nativePath(mounts.b) + "/\xce\xc4\xbc\xfe";
    const QByteArray inner = outer + "/\xb2\xe2\xca\xd4";
    QCOMPARE(::mkdir(outer.constData(), 0700), 0);
    QCOMPARE(::mkdir(inner.constData(), 0700), 0);
    Drives drives(mounts.source(), QStringLiteral("/"));
    FolderList list(drives);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.setPath(mounts.b));
    QCOMPARE(rows(list), (QStringList{mounts.b, QStringLiteral(">x"), QStringLiteral(">Z"),
                                      QStringLiteral(u">文件")}));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_End);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(platform::nativePath(list.path()), outer);
    QCOMPARE(rows(list),
             (QStringList{mounts.b, QStringLiteral(u">文件"), QStringLiteral(u">>测试")}));
    // Given by its held path, the inner folder is shown as well.
    QVERIFY(list.setPath(platform::pathFromNative(inner)));
    QCOMPARE(list.currentItem()->text(0), QStringLiteral(u"测试"));
    QCOMPARE(::rmdir(inner.constData()), 0);
    QCOMPARE(::rmdir(outer.constData()), 0);
}

void TestFolderList::theListOpensAtTheWorkingFolderWhateverItsName_data()
{
    QTest::addColumn<QByteArrayList>("names"); // from drive B down to the working folder
    QTest::addColumn<QString>("shown");        // the working folder's row
    QTest::newRow("a working folder named in ASCII")
        << QByteArrayList{"plain"} << QStringLiteral("plain");
    QTest::newRow("a working folder named in UTF-8")
        << QByteArrayList{QStringLiteral(u"资料").toUtf8()} << QStringLiteral(u"资料");
    QTest::newRow("a working folder named in GBK bytes")
        << QByteArrayList{"\xd7\xca\xc1\xcf"} << QStringLiteral(u"资料");
    QTest::newRow("a GBK-named working folder inside a UTF-8-named one")
        << QByteArrayList{QStringLiteral(u"文件").toUtf8(), "\xb2\xe2\xca\xd4"}
        << QStringLiteral(u"测试");
}

void TestFolderList::theListOpensAtTheWorkingFolderWhateverItsName()
{
    QFETCH(QByteArrayList, names);
    QFETCH(QString, shown);
    FakeMounts mounts;
    QVERIFY(mounts.setUp());
    QByteArray folder = platform::nativePath(mounts.b);
    for (const QByteArray &name : names) {
        folder += '/' + name;
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
    }
    const QString before = platform::currentFolder();
    QCOMPARE(::chdir(folder.constData()), 0);
    // As the session's catalogue is made when the chooser first opens.
    Drives drives(mounts.source(), platform::currentFolder());
    QCOMPARE(::chdir(platform::nativePath(before).constData()), 0);
    FolderList list(drives);
    QVERIFY(list.setDrive(mounts.b));
    QCOMPARE(platform::nativePath(list.path()), folder);
    QCOMPARE(list.currentItem()->text(0), shown);
}

QTEST_MAIN(TestFolderList)
#include "tst_widgets_folder_list.moc"
