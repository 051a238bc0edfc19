#include "platform/core/paths.h"
#include "platform/core/program.h"
#include "platform/widgets/file_list.h"
#include "platform/widgets/name_pattern.h"
#include "support/file_list_probe.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using platform::FileList;
using platform::NamePattern;

class TestFileList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void patternMatches_data();
    void patternMatches();
    void listsRegularVisibleFilesOnly();
    void sortsByNameWithoutRegardToCase();
    void patternNarrowsTheListing();
    void missingFolderChangesNothing();
    void namesThatAreNotUtf8AreListedByTheirBytes();
    void namesAreShownOnOneLineInTheirOrder();
    void aTreePatternListsTheSubfolders_data();
    void aTreePatternListsTheSubfolders();
    void anotherFolderAbandonsATreeListing();
    void mouseSelection_data();
    void mouseSelection();
    void controlASelectsEverything();
    void rightButtonLeavesTheSelectionAndIsReported();
    void leftReleaseIsReportedToo();
    void selectOnlyReplacesTheSelection_data();
    void selectOnlyReplacesTheSelection();
    void entryAccessOutsideTheListIsHarmless();
    void gettingTheFocusMakesNoEntryCurrent();

private:
    FileList *shownList(const QString &folder, const QStringList &names);
    QTemporaryDir m_dir;
    std::unique_ptr<FileList> m_list;
};

void TestFileList::patternMatches_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");

    QTest::newRow("star dot star matches a name with an extension") << "*.*"
                                                                    << "a.txt" << true;
    QTest::newRow("star dot star matches a name without a dot") << "*.*"
                                                                << "Makefile" << true;
    QTest::newRow("an extension pattern matches without regard to case") << "*.txt"
                                                                         << "README.TXT" << true;
    QTest::newRow("an extension pattern refuses another extension") << "*.txt"
                                                                    << "a.doc" << false;
    QTest::newRow("an extension pattern refuses a longer extension") << "*.htm"
                                                                     << "a.html" << false;
    QTest::newRow("the second of two patterns matches") << "*.asp;*.js"
                                                        << "x.JS" << true;
    QTest::newRow("neither of two patterns matches") << "*.asp;*.js"
                                                     << "x.json" << false;
    QTest::newRow("blanks around the parts are ignored") << " *.asp ; *.js "
                                                         << "x.js" << true;
    QTest::newRow("a question mark stands for one character") << "a?.txt"
                                                              << "ab.txt" << true;
    QTest::newRow("a question mark needs a character") << "a?.txt"
                                                       << "a.txt" << false;
    QTest::newRow("a bare word matches only that name") << "hello"
                                                        << "HELLO" << true;
    QTest::newRow("a bare word does not match a longer name") << "hello"
                                                              << "hello.txt" << false;
    QTest::newRow("an item text as pattern matches literally")
        << QStringLiteral(u"全部文件（*.*）") << "a.txt" << false;
    QTest::newRow("an empty pattern matches everything") << ""
                                                         << "a.b" << true;
    QTest::newRow("only separators match everything") << ";;"
                                                      << "a.b" << true;
    QTest::newRow("an unclosed bracket is taken literally") << "a[b"
                                                            << "a[b" << true;
    QTest::newRow("an unclosed bracket does not match other names") << "a[b"
                                                                    << "ab" << false;
    QTest::newRow("a bracket class matches one of its characters") << "[ab].txt"
                                                                   << "B.txt" << true;
    QTest::newRow("Chinese names match")
        << QStringLiteral(u"*.文本") << QStringLiteral(u"说明.文本") << true;
    QTest::newRow("a regular expression character is literal") << "a+b.txt"
                                                               << "a+b.txt" << true;
    QTest::newRow("a dot is not any character") << "a.txt"
                                                << "abtxt" << false;
}

void TestFileList::patternMatches()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    QCOMPARE(NamePattern(pattern).matches(name), matches);
}

FileList *TestFileList::shownList(const QString &folder, const QStringList &names)
{
    if (!writeTree(folder, names))
        return nullptr;
    m_list = std::make_unique<FileList>();
    m_list->resize(200, 400);
    m_list->show();
    if (!QTest::qWaitForWindowExposed(m_list.get()))
        return nullptr;
    if (!m_list->setPath(folder))
        return nullptr;
    return m_list.get();
}

void TestFileList::listsRegularVisibleFilesOnly()
{
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("kinds"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/subfolder")));
    QVERIFY(writeFile(folder + QStringLiteral("/plain.txt")));
    QVERIFY(writeFile(folder + QStringLiteral("/.hidden")));
    QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe")).constData(), 0600), 0);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(folder + QStringLiteral("/socket"));
    QVERIFY(size_t(socketPath.size()) < sizeof(address.sun_path));
    std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
    QVERIFY(
        QFile::link(folder + QStringLiteral("/plain.txt"), folder + QStringLiteral("/link.txt")));
    QVERIFY(QFile::link(folder + QStringLiteral("/nothing"), folder + QStringLiteral("/broken")));

    FileList list;
    QVERIFY(list.setPath(folder));
    QCOMPARE(entryNames(list),
             (QStringList{QStringLiteral("link.txt"), QStringLiteral("plain.txt")}));
    QCOMPARE(list.path(), folder);
    QCOMPARE(list.listIndex(), -1);
}

void TestFileList::sortsByNameWithoutRegardToCase()
{
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("sorted"));
    QDir().mkpath(folder);
    const QStringList names{QStringLiteral("b.txt"), QStringLiteral("A.txt"),
                            QStringLiteral("c.TXT"), QStringLiteral("B2.txt"),
                            QStringLiteral("a2.txt")};
    for (const QString &name : names)
        QVERIFY(writeFile(folder + QLatin1Char('/') + name));
    FileList list;
    QVERIFY(list.setPath(folder));
    QCOMPARE(entryNames(list), (QStringList{QStringLiteral("A.txt"), QStringLiteral("a2.txt"),
                                            QStringLiteral("b.txt"), QStringLiteral("B2.txt"),
                                            QStringLiteral("c.TXT")}));
}

void TestFileList::patternNarrowsTheListing()
{
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("pattern"));
    QDir().mkpath(folder);
    for (const char *name : {"a.doc", "b.DOC", "c.txt", "Makefile"})
        QVERIFY(writeFile(folder + QLatin1Char('/') + QLatin1String(name)));
    FileList list;
    list.setPattern(QStringLiteral("*.doc"));
    QVERIFY(list.setPath(folder));
    QCOMPARE(entryNames(list), (QStringList{QStringLiteral("a.doc"), QStringLiteral("b.DOC")}));
    list.setPattern(QStringLiteral("*.*"));
    QCOMPARE(list.entryCount(), 4);
    // A file created meanwhile shows up when the pattern changes: the folder is read again.
    QVERIFY(writeFile(folder + QStringLiteral("/d.doc")));
    list.setPattern(QStringLiteral("*.doc"));
    QCOMPARE(list.entryCount(), 3);
}

void TestFileList::missingFolderChangesNothing()
{
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("stays"));
    QDir().mkpath(folder);
    QVERIFY(writeFile(folder + QStringLiteral("/one.txt")));
    FileList list;
    QVERIFY(list.setPath(folder));
    QVERIFY(!list.setPath(m_dir.filePath(QStringLiteral("no-such-folder"))));
    QVERIFY(!list.setPath(QString()));
    QCOMPARE(list.path(), folder);
    QCOMPARE(entryNames(list), QStringList{QStringLiteral("one.txt")});
    // The folder vanishes: reading it again fails and the list stays usable as it was.
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!list.refresh());
    QCOMPARE(list.entryCount(), 1);
}

void TestFileList::mouseSelection_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QList<int>>("modifiers");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("current");

    const int none = int(Qt::NoModifier);
    const int shift = int(Qt::ShiftModifier);
    const int control = int(Qt::ControlModifier);
    QTest::newRow("a click selects one entry")
        << QList<int>{3} << QList<int>{none} << QList<int>{3} << 3;
    QTest::newRow("a second click selects another one and clears the first")
        << QList<int>{3, 5} << QList<int>{none, none} << QList<int>{5} << 5;
    QTest::newRow("shift and click selects a range")
        << QList<int>{2, 5} << QList<int>{none, shift} << QList<int>{2, 3, 4, 5} << 5;
    QTest::newRow("shift and click selects a range upwards")
        << QList<int>{5, 2} << QList<int>{none, shift} << QList<int>{2, 3, 4, 5} << 2;
    QTest::newRow("control and click adds one entry")
        << QList<int>{1, 4} << QList<int>{none, control} << QList<int>{1, 4} << 4;
    QTest::newRow("control and click on a selected entry removes it")
        << QList<int>{1, 4, 1} << QList<int>{none, control, control} << QList<int>{4} << 1;
    QTest::newRow("control and click inside a range splits it")
        << QList<int>{1, 6, 3} << QList<int>{none, shift, control} << QList<int>{1, 2, 4, 5, 6}
        << 3;
    QTest::newRow("a range and two single entries, the last one included")
        << QList<int>{0, 2, 5, 7} << QList<int>{none, shift, control, control}
        << QList<int>{0, 1, 2, 5, 7} << 7;
}

void TestFileList::mouseSelection()
{
    QFETCH(QList<int>, rows);
    QFETCH(QList<int>, modifiers);
    QFETCH(QList<int>, selected);
    QFETCH(int, current);
    QVERIFY(m_dir.isValid());
    QStringList names;
    for (int i = 0; i < 8; ++i)
        names.append(QStringLiteral("f%1.txt").arg(i));
    FileList *list = shownList(m_dir.filePath(QStringLiteral("mouse")), names);
    QVERIFY(list);
    for (qsizetype i = 0; i < rows.size(); ++i)
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::KeyboardModifiers(modifiers[i]),
                          entryCentre(*list, rows[i]));
    QCOMPARE(selectedRows(*list), selected);
    QCOMPARE(list->listIndex(), current);
    // The marks a run takes in one pass are the entries' own.
    QList<bool> marks(names.size(), false);
    for (const int row : std::as_const(selected))
        marks[row] = true;
    QCOMPARE(list->entryMarks(), marks);
}

void TestFileList::controlASelectsEverything()
{
    QVERIFY(m_dir.isValid());
    FileList *list = shownList(m_dir.filePath(QStringLiteral("all")),
                               {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    QVERIFY(list);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(selectedRows(*list), (QList<int>{0, 1, 2}));
    QCOMPARE(list->entryMarks(), (QList<bool>{true, true, true}));
}

void TestFileList::rightButtonLeavesTheSelectionAndIsReported()
{
    QVERIFY(m_dir.isValid());
    FileList *list = shownList(
        m_dir.filePath(QStringLiteral("right")),
        {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    QVERIFY(list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryCentre(*list, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, entryCentre(*list, 2));
    QSignalSpy released(list, &FileList::mouseReleased);
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, entryCentre(*list, 3));
    QCOMPARE(released.count(), 0);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, entryCentre(*list, 3));
    QCOMPARE(released.count(), 1);
    QCOMPARE(released[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    QCOMPARE(released[0][1].toPoint(), list->viewport()->mapToGlobal(entryCentre(*list, 3)));
    // Marked files stay marked, so the menu acts on them.
    QCOMPARE(selectedRows(*list), (QList<int>{0, 2}));
}

void TestFileList::leftReleaseIsReportedToo()
{
    QVERIFY(m_dir.isValid());
    FileList *list = shownList(m_dir.filePath(QStringLiteral("left")), {QStringLiteral("a")});
    QVERIFY(list);
    QSignalSpy released(list, &FileList::mouseReleased);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryCentre(*list, 0));
    QCOMPARE(released.count(), 1);
    QCOMPARE(released[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
}

void TestFileList::selectOnlyReplacesTheSelection_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("current");

    QTest::newRow("an entry inside becomes the only selected and the current one")
        << 4 << true << QList<int>{4} << 4;
    QTest::newRow("an entry below the list only clears the selection")
        << -1 << false << QList<int>{} << 1;
    QTest::newRow("an entry past the end only clears the selection")
        << 6 << false << QList<int>{} << 1;
}

void TestFileList::selectOnlyReplacesTheSelection()
{
    QFETCH(int, target);
    QFETCH(bool, result);
    QFETCH(QList<int>, selected);
    QFETCH(int, current);
    QVERIFY(m_dir.isValid());
    QStringList names;
    for (int i = 0; i < 6; ++i)
        names.append(QStringLiteral("s%1").arg(i));
    FileList *list = shownList(m_dir.filePath(QStringLiteral("only")), names);
    QVERIFY(list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entryCentre(*list, 1));
    list->setEntrySelected(3, true);
    list->setEntrySelected(5, true);
    QCOMPARE(selectedRows(*list), (QList<int>{1, 3, 5}));
    QCOMPARE(list->selectOnly(target), result);
    QCOMPARE(selectedRows(*list), selected);
    QCOMPARE(list->listIndex(), current);
    // The marks a run takes in one pass are the entries' own.
    QList<bool> marks(names.size(), false);
    for (const int row : std::as_const(selected))
        marks[row] = true;
    QCOMPARE(list->entryMarks(), marks);
}

void TestFileList::namesThatAreNotUtf8AreListedByTheirBytes()
{
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("gbk"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray base = platform::nativePath(folder) + '/';
    // "测试.txt" and the folder "文件" in GBK, as Chinese Windows writes them into a ZIP.
    const QByteArray gbkFile = base + "\xb2\xe2\xca\xd4.txt";
    const QByteArray gbkFolder = base + "\xce\xc4\xbc\xfe";
    const int fd = ::open(gbkFile.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);
    QCOMPARE(::mkdir(gbkFolder.constData(), 0700), 0);
    QVERIFY(writeFile(folder + QStringLiteral("/b.txt")));
    QVERIFY(writeFile(folder + QStringLiteral(u"/测验.txt")));

    FileList list;
    QVERIFY(list.setPath(folder));
    QStringList shown;
    for (int i = 0; i < list.entryCount(); ++i)
        shown.append(list.model()->index(i, 0).data().toString());
    // Sorted as shown; the folder is no entry.
    QCOMPARE(shown, (QStringList{QStringLiteral("b.txt"), QStringLiteral(u"测试.txt"),
                                 QStringLiteral(u"测验.txt")}));
    QCOMPARE(platform::nativePath(folder + u'/' + list.entryName(1)), gbkFile);
    QCOMPARE(list.entryName(2), QStringLiteral(u"测验.txt"));
    // All names at once are the held ones too, not the text shown.
    QCOMPARE(list.entryNames(),
             (QStringList{list.entryName(0), list.entryName(1), list.entryName(2)}));
    QVERIFY(list.entryNames().at(1) != shown.at(1));
    // A pattern is matched against the name as shown.
    list.setPattern(QStringLiteral(u"测试*"));
    QCOMPARE(list.entryCount(), 1);
    QCOMPARE(platform::nativePath(list.entryName(0)), QByteArray("\xb2\xe2\xca\xd4.txt"));

    QCOMPARE(::unlink(gbkFile.constData()), 0);
    QCOMPARE(::rmdir(gbkFolder.constData()), 0);
}

void TestFileList::namesAreShownOnOneLineInTheirOrder()
{
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("breaks"));
    QVERIFY(QDir().mkpath(folder));
    const QString twoLines = QStringLiteral(u"a\r\n合同.docx");
    const QString reversed = QStringLiteral(u"rlo\u202Etxt.exe");
    QVERIFY(writeFile(folder + u'/' + twoLines));
    QVERIFY(writeFile(folder + u'/' + reversed));

    FileList list;
    QVERIFY(list.setPath(folder));
    QCOMPARE(list.entryCount(), 2);
    QCOMPARE(list.model()->index(0, 0).data().toString(), QStringLiteral(u"a\\r\\n合同.docx"));
    QCOMPARE(list.model()->index(1, 0).data().toString(), QStringLiteral(u"rlo\\u202Etxt.exe"));
    QCOMPARE(list.entryNames(), (QStringList{twoLines, reversed}));
    // The pattern sees the name, not its escaped form: the override's name ends in ".exe".
    list.setPattern(QStringLiteral("*.exe"));
    QCOMPARE(list.entryCount(), 1);
    QCOMPARE(list.entryName(0), reversed);
}

void TestFileList::aTreePatternListsTheSubfolders_data()
{
    // Names separated by commas, in list order.
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("names");
    QTest::newRow("every file of the tree")
        << "**/*"
        << "a.txt,b.doc,2023/x.TXT,2023/client/y.txt,Zeta/z.doc";
    QTest::newRow("one type in the tree, the other part in the folder itself only")
        << "**/*.txt;*.doc"
        << "a.txt,b.doc,2023/x.TXT,2023/client/y.txt";
    QTest::newRow("a backslash after the stars works too") << "**\\*.doc"
                                                           << "b.doc,Zeta/z.doc";
    QTest::newRow("without the stars the folder alone") << "*.*"
                                                        << "a.txt,b.doc";
}

void TestFileList::aTreePatternListsTheSubfolders()
{
    QFETCH(QString, pattern);
    QFETCH(QString, names);
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("tree"));
    QStringList files;
    for (const char *file :
         {"a.txt", "b.doc", "2023/x.TXT", "2023/client/y.txt", "Zeta/z.doc", ".hidden/h.txt"})
        files.append(QLatin1String(file));
    QVERIFY(writeTree(folder, files));
    FileList list;
    list.setPattern(pattern);
    QSignalSpy finished(&list, &FileList::listingFinished);
    QVERIFY(list.setPath(folder));
    if (list.isListing())
        QVERIFY(finished.wait(10000));
    QCOMPARE(entryNames(list).join(u','), names);
    QVERIFY(!list.isListing());
}

void TestFileList::anotherFolderAbandonsATreeListing()
{
    QVERIFY(m_dir.isValid());
    const QString big = m_dir.filePath(QStringLiteral("big"));
    for (int f = 0; f < 100; ++f) {
        const QString sub = big + QStringLiteral("/d%1").arg(f, 3, 10, QLatin1Char('0'));
        QVERIFY(QDir().mkpath(sub));
        for (int i = 0; i < 50; ++i)
            QVERIFY(writeFile(sub + QStringLiteral("/f%1.txt").arg(i)));
    }
    const QString small = m_dir.filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(small + QStringLiteral("/in")));
    QVERIFY(writeFile(small + QStringLiteral("/in/only.txt")));

    FileList list;
    list.setPattern(QStringLiteral("**/*"));
    QSignalSpy finished(&list, &FileList::listingFinished);
    QVERIFY(list.setPath(big));
    // Entries of the big tree arrive while it is walked; then another folder is set.
    QTRY_VERIFY_WITH_TIMEOUT(list.entryCount() > 0, 10000);
    QVERIFY(list.setPath(small));
    finished.clear(); // the big tree may have ended before; what follows is the small one's
    QVERIFY(finished.wait(10000));
    // Whatever the abandoned walk still had under way never reaches the list.
    QTest::qWait(300);
    QCOMPARE(entryNames(list), QStringList{QStringLiteral("in/only.txt")});
    QCOMPARE(finished.count(), 1);
    // Listing the big tree to its end gives every file, in order.
    QVERIFY(list.setPath(big));
    QVERIFY(finished.wait(20000));
    QCOMPARE(list.entryCount(), 5000);
    QCOMPARE(list.entryName(0), QStringLiteral("d000/f0.txt"));
    QCOMPARE(list.entryName(4999), QStringLiteral("d099/f9.txt"));
    // A listing is a thread of the process's registry: ending the process's threads ends it.
    QVERIFY(list.setPath(big));
    QVERIFY(platform::runningThreads() >= 1);
    QVERIFY(platform::endThreads(10000));
    QCOMPARE(platform::runningThreads(), 0);
}

void TestFileList::entryAccessOutsideTheListIsHarmless()
{
    FileList list;
    QCOMPARE(list.entryName(0), QString());
    QVERIFY(!list.isEntrySelected(-1));
    list.setEntrySelected(7, true);
    QCOMPARE(list.entryCount(), 0);
    QCOMPARE(list.listIndex(), -1);
}

void TestFileList::gettingTheFocusMakesNoEntryCurrent()
{
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("focus"));
    QDir().mkpath(folder);
    QVERIFY(writeFile(folder + QStringLiteral("/a")));
    QVERIFY(writeFile(folder + QStringLiteral("/b")));
    QWidget window;
    auto *before = new QLineEdit(&window);
    auto *list = new FileList(&window);
    list->move(0, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    before->setFocus();
    QTRY_VERIFY(before->hasFocus());
    QVERIFY(list->setPath(folder));
    QTest::keyClick(before, Qt::Key_Tab);
    QTRY_VERIFY(list->hasFocus());
    QCOMPARE(list->listIndex(), -1);
    // The keyboard still moves into the list.
    QTest::keyClick(list, Qt::Key_Down);
    QVERIFY(list->listIndex() >= 0);
}

QTEST_MAIN(TestFileList)
#include "tst_widgets_file_list.moc"
