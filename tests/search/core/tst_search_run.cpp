#include "platform/core/paths.h"
#include "search/core/entry_list.h"
#include "search/core/report.h"
#include "search/core/search_run.h"
#include "support/document_catalogue.h"
#include "support/fake_entry_list.h"
#include "support/report_entries.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace search;

class TestSearchRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void nothingMarkedGivesTheHeaderAlone();
    void onlyTheMatchingMarkedFileIsReported();
    void hitsAreReportedInListOrder();
    void emptyKeywordMakesEveryMarkedFileAHit();
    void keywordIsReadAnewForEveryFile();
    void keywordSplitByALineBreakInAGbkFileIsFound();
    void unreadableFilesAreListedAfterTheHits_data();
    void unreadableFilesAreListedAfterTheHits();
    void fileWithoutPermissionIsListedAsUnreadable();
    void scannedDocumentIsListedAsHavingNoText_data();
    void scannedDocumentIsListedAsHavingNoText();
    void yieldRunsBeforeEveryEntry();
    void cancelFromInsideYieldKeepsTheHitsSoFar();
    void cancelInsideALongFileStopsThatFile();
    void snapshotIsNotAffectedByLaterChangesToTheList();
    void runStartedFromInsideYieldDoesNothing();
    void rootFolderPathIsJoinedWithoutNormalisation();
    void namesThatAreNotUtf8AreSearchedAndReportedReadable();

private:
    void write(const QString &name, const QByteArray &bytes);
    FakeEntryList list(const QList<RunEntry> &entries) const;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSearchRun::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSearchRun::write(const QString &name, const QByteArray &bytes)
{
    writeTestFile(m_dir->path(), name, bytes);
}

FakeEntryList TestSearchRun::list(const QList<RunEntry> &entries) const
{
    FakeEntryList files;
    files.folder = m_dir->path();
    files.entries = entries;
    return files;
}

void TestSearchRun::nothingMarkedGivesTheHeaderAlone()
{
    write(QStringLiteral("a.txt"), "keyword");
    const FakeEntryList files = list({{QStringLiteral("a.txt"), false}});
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("keyword"); }, [] {});
    run.run();
    QVERIFY(!run.hasHits());
    QVERIFY(!run.wasCancelled());
    QCOMPARE(run.reportText(), expected::reportHeader(m_dir->path()));
}

void TestSearchRun::onlyTheMatchingMarkedFileIsReported()
{
    write(QStringLiteral("1.txt"), "nothing here");
    write(QStringLiteral("2.txt"), "the budget for 2024, approved");
    write(QStringLiteral("3.txt"), "Budget with a capital letter");
    const FakeEntryList files = list({{QStringLiteral("1.txt"), true},
                                      {QStringLiteral("2.txt"), true},
                                      {QStringLiteral("3.txt"), true}});
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("budget"); }, [] {});
    run.run();
    QVERIFY(run.hasHits());
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral("2.txt"),
                                    QStringLiteral("the budget for 2024approved")));
}

void TestSearchRun::hitsAreReportedInListOrder()
{
    write(QStringLiteral("z.txt"), "key in z");
    write(QStringLiteral("a.txt"), "key in a");
    write(QStringLiteral("m.txt"), "no match");
    write(QStringLiteral("b.txt"), "key in b");
    const FakeEntryList files = list({{QStringLiteral("z.txt"), true},
                                      {QStringLiteral("m.txt"), true},
                                      {QStringLiteral("a.txt"), false},
                                      {QStringLiteral("b.txt"), true}});
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("key"); }, [] {});
    run.run();
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral("z.txt"), QStringLiteral("key in z")) +
                 expected::hitEntry(QStringLiteral("b.txt"), QStringLiteral("key in b")));
    // Beside the report, each hit names its file and the characters of its entry.
    const QList<ReportHit> hits = run.hits();
    QCOMPARE(hits.size(), 2);
    QCOMPARE(hits[0].path, m_dir->path() + QStringLiteral("/z.txt"));
    QCOMPARE(hits[1].path, m_dir->path() + QStringLiteral("/b.txt"));
    QCOMPARE(run.reportText().mid(hits[0].start, hits[0].length),
             expected::hitEntry(QStringLiteral("z.txt"), QStringLiteral("key in z")));
    QCOMPARE(run.reportText().mid(hits[1].start, hits[1].length),
             expected::hitEntry(QStringLiteral("b.txt"), QStringLiteral("key in b")));
}

void TestSearchRun::emptyKeywordMakesEveryMarkedFileAHit()
{
    write(QStringLiteral("a.txt"), "abcdefghijklmnopqrstuvwxyz0123456789");
    write(QStringLiteral("empty.txt"), "");
    write(QStringLiteral("skip.txt"), "not marked");
    const FakeEntryList files = list({{QStringLiteral("a.txt"), true},
                                      {QStringLiteral("skip.txt"), false},
                                      {QStringLiteral("empty.txt"), true}});
    SearchRun run(
        RunSnapshot::take(files), [] { return QString(); }, [] {});
    run.run();
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral("a.txt"),
                                    QStringLiteral("abcdefghijklmnopqrstuvwxyz0123")) +
                 expected::hitEntry(QStringLiteral("empty.txt"), QString()));
}

void TestSearchRun::keywordIsReadAnewForEveryFile()
{
    write(QStringLiteral("1.txt"), "alpha");
    write(QStringLiteral("2.txt"), "beta");
    const FakeEntryList files =
        list({{QStringLiteral("1.txt"), true}, {QStringLiteral("2.txt"), true}});
    // The keyword changes while events run between the two files, as a prompt answer would.
    QString keyword = QStringLiteral("alpha");
    int yields = 0;
    SearchRun run(
        RunSnapshot::take(files), [&] { return keyword; },
        [&] {
            if (++yields == 2)
                keyword = QStringLiteral("beta");
        });
    run.setYieldInterval(1000 * 1000); // only the yields before the entries
    run.setEntryYieldSpacing(0);       // before every entry
    run.run();
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral("1.txt"), QStringLiteral("alpha")) +
                 expected::hitEntry(QStringLiteral("2.txt"), QStringLiteral("beta")));
}

void TestSearchRun::keywordSplitByALineBreakInAGbkFileIsFound()
{
    // 批量查找 in GBK, with the line broken between 查 and 找.
    write(QStringLiteral(u"报告.txt"), "\xC5\xFA\xC1\xBF\xB2\xE9\r\n\xD5\xD2");
    const FakeEntryList files = list({{QStringLiteral(u"报告.txt"), true}});
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral(u"查找"); }, [] {});
    run.run();
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral(u"报告.txt"), QStringLiteral(u"批量查找")));
}

void TestSearchRun::unreadableFilesAreListedAfterTheHits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("a marked file deleted before the run is reported as missing")
        << QStringLiteral("gone.txt") << QStringLiteral(u"文件不存在");
    QTest::newRow("a marked folder is reported as a folder")
        << QStringLiteral("folder") << QStringLiteral(u"这是一个文件夹");
}

void TestSearchRun::unreadableFilesAreListedAfterTheHits()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    write(name, "key");
    write(QStringLiteral("hit.txt"), "key");
    const FakeEntryList files = list({{name, true}, {QStringLiteral("hit.txt"), true}});
    // The file vanishes, or is replaced by a folder, after the list was shown.
    QVERIFY(QFile::remove(m_dir->filePath(name)));
    if (name == QStringLiteral("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(name));
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("key"); }, [] {});
    run.run();
    QVERIFY(run.hasHits());
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral("hit.txt"), QStringLiteral("key")) +
                 expected::kUnreadableHeading + expected::unreadableEntry(name, reason));
}

void TestSearchRun::scannedDocumentIsListedAsHavingNoText_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("hits");

    // A blank PDF (no text, no image) is read whole: it holds no keyword, and the empty keyword
    // is in any text, its empty one too. A scan has no text to search at all.
    QTest::newRow("a keyword: the scan is named, the blank PDF is no hit")
        << QStringLiteral("key")
        << expected::hitEntry(QStringLiteral("hit.txt"), QStringLiteral("key"));
    QTest::newRow("the empty keyword: the scan is still named, the blank PDF is a hit")
        << QString()
        << expected::hitEntry(QStringLiteral("blank.pdf"), QString()) +
               expected::hitEntry(QStringLiteral("hit.txt"), QStringLiteral("key"));
}

void TestSearchRun::scannedDocumentIsListedAsHavingNoText()
{
    QFETCH(QString, keyword);
    QFETCH(QString, hits);
    for (const char *name : {"scan.pdf", "blank.pdf"}) {
        QVERIFY(QFile::copy(fixtures::documentPath(QLatin1StringView(name)),
                            m_dir->filePath(QLatin1StringView(name))));
    }
    write(QStringLiteral("hit.txt"), "key");
    const FakeEntryList files = list({{QStringLiteral("blank.pdf"), true},
                                      {QStringLiteral("scan.pdf"), true},
                                      {QStringLiteral("hit.txt"), true}});
    SearchRun run(
        RunSnapshot::take(files), [&] { return keyword; }, [] {});
    run.run();
    QCOMPARE(run.reportText(), expected::reportHeader(m_dir->path()) + hits +
                                   expected::kUnreadableHeading +
                                   expected::unreadableEntry(QStringLiteral("scan.pdf"),
                                                             QStringLiteral(u"没有可搜索的文字")));
}

void TestSearchRun::fileWithoutPermissionIsListedAsUnreadable()
{
    write(QStringLiteral("locked.txt"), "key");
    const QString path = m_dir->filePath(QStringLiteral("locked.txt"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    if (::access(QFile::encodeName(path).constData(), R_OK) == 0)
        QSKIP("Running as root: a file without permissions is still readable, so there is no "
              "permission failure to observe.");
    const FakeEntryList files = list({{QStringLiteral("locked.txt"), true}});
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("key"); }, [] {});
    run.run();
    QVERIFY(!run.hasHits());
    QCOMPARE(run.reportText(), expected::reportHeader(m_dir->path()) +
                                   expected::kUnreadableHeading +
                                   expected::unreadableEntry(QStringLiteral("locked.txt"),
                                                             QStringLiteral(u"没有读取权限")));
}

void TestSearchRun::yieldRunsBeforeEveryEntry()
{
    write(QStringLiteral("a.txt"), "x");
    const FakeEntryList files = list({{QStringLiteral("a.txt"), false},
                                      {QStringLiteral("a.txt"), true},
                                      {QStringLiteral("missing.txt"), false}});
    int yields = 0;
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("x"); }, [&] { ++yields; });
    run.setYieldInterval(1000 * 1000);
    run.setEntryYieldSpacing(0); // before every entry
    run.run();
    QCOMPARE(yields, 3);
}

void TestSearchRun::cancelFromInsideYieldKeepsTheHitsSoFar()
{
    write(QStringLiteral("1.txt"), "key one");
    write(QStringLiteral("2.txt"), "key two");
    write(QStringLiteral("3.txt"), "key three");
    const FakeEntryList files = list({{QStringLiteral("1.txt"), true},
                                      {QStringLiteral("2.txt"), true},
                                      {QStringLiteral("3.txt"), true}});
    int yields = 0;
    SearchRun *running = nullptr;
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("key"); },
        [&] {
            if (++yields == 3) // before the third entry
                running->cancel();
        });
    running = &run;
    run.setYieldInterval(1000 * 1000);
    run.setEntryYieldSpacing(0); // before every entry
    run.run();
    QVERIFY(run.wasCancelled());
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral("1.txt"), QStringLiteral("key one")) +
                 expected::hitEntry(QStringLiteral("2.txt"), QStringLiteral("key two")) +
                 expected::kCancelLine);
}

void TestSearchRun::cancelInsideALongFileStopsThatFile()
{
    write(QStringLiteral("1.txt"), "key one");
    QByteArray big;
    while (big.size() < 4 * 1024 * 1024)
        big += "a line without the word we want,\r\n";
    big += "key at the very end";
    write(QStringLiteral("big.txt"), big);
    write(QStringLiteral("3.txt"), "key three");
    const FakeEntryList files = list({{QStringLiteral("1.txt"), true},
                                      {QStringLiteral("big.txt"), true},
                                      {QStringLiteral("3.txt"), true}});
    // The keyword is read just before a file is searched: the next yield is inside big.txt.
    int keywordReads = 0;
    bool cancelNext = false;
    SearchRun *running = nullptr;
    SearchRun run(
        RunSnapshot::take(files),
        [&] {
            cancelNext = ++keywordReads == 2;
            return QStringLiteral("key");
        },
        [&] {
            if (cancelNext)
                running->cancel();
        });
    running = &run;
    run.setYieldInterval(0);
    run.run();
    QVERIFY(run.wasCancelled());
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral("1.txt"), QStringLiteral("key one")) +
                 expected::kCancelLine);
}

void TestSearchRun::snapshotIsNotAffectedByLaterChangesToTheList()
{
    write(QStringLiteral("a.txt"), "key a");
    write(QStringLiteral("b.txt"), "key b");
    FakeEntryList files = list({{QStringLiteral("a.txt"), true}, {QStringLiteral("b.txt"), false}});
    const QString folder = files.folder;
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("key"); },
        [&] {
            // The chooser moves to another folder and changes its marks while the run goes on.
            files.folder = QStringLiteral("/elsewhere");
            files.entries = {{QStringLiteral("b.txt"), true}};
        });
    run.run();
    QCOMPARE(run.reportText(),
             expected::reportHeader(folder) +
                 expected::hitEntry(QStringLiteral("a.txt"), QStringLiteral("key a")));
}

void TestSearchRun::runStartedFromInsideYieldDoesNothing()
{
    write(QStringLiteral("a.txt"), "key a");
    const FakeEntryList files = list({{QStringLiteral("a.txt"), true}});
    SearchRun *running = nullptr;
    int nested = 0;
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("key"); },
        [&] {
            if (nested++ == 0)
                running->run();
        });
    running = &run;
    run.run();
    QCOMPARE(run.reportText(),
             expected::reportHeader(m_dir->path()) +
                 expected::hitEntry(QStringLiteral("a.txt"), QStringLiteral("key a")));
}

void TestSearchRun::rootFolderPathIsJoinedWithoutNormalisation()
{
    // A folder path with a trailing separator gives a doubled one, which the file system accepts.
    write(QStringLiteral("r.txt"), "key r");
    FakeEntryList files = list({{QStringLiteral("r.txt"), true}});
    files.folder = m_dir->path() + u'/';
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("key"); }, [] {});
    run.run();
    QCOMPARE(run.reportText(),
             expected::reportHeader(files.folder) +
                 expected::hitEntry(QStringLiteral("r.txt"), QStringLiteral("key r")));
}

void TestSearchRun::namesThatAreNotUtf8AreSearchedAndReportedReadable()
{
    // The folder "资料" and in it "测试.txt" and "坏.txt" (unreadable), both names in GBK.
    const QByteArray folder = platform::nativePath(m_dir->path()) + "/\xd7\xca\xc1\xcf";
    QCOMPARE(::mkdir(folder.constData(), 0700), 0);
    const QByteArray hit = folder + "/\xb2\xe2\xca\xd4.txt";
    const QByteArray bad = folder + "/\xbb\xb5.txt";
    const int fd = ::open(hit.constData(), O_WRONLY | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "a keyword here", 14), 14);
    ::close(fd);
    QCOMPARE(::mkdir(bad.constData(), 0700), 0); // a folder cannot be read as a file
    FakeEntryList files;
    files.folder = platform::pathFromNative(folder);
    files.entries = {{platform::pathFromNative(QByteArrayView("\xb2\xe2\xca\xd4.txt")), true},
                     {platform::pathFromNative(QByteArrayView("\xbb\xb5.txt")), true}};
    SearchRun run(
        RunSnapshot::take(files), [] { return QStringLiteral("keyword"); }, [] {});
    run.run();
    const QString shownFolder = m_dir->path() + QStringLiteral(u"/资料");
    const QString report = run.reportText();
    QVERIFY2(report.startsWith(
                 expected::reportHeader(shownFolder) +
                 expected::hitEntry(QStringLiteral(u"测试.txt"), QStringLiteral("a keyword here"))),
             qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral(u"坏.txt")), qPrintable(report));
    // The hit keeps the real path, for opening it from the report.
    QCOMPARE(run.hits().size(), 1);
    QCOMPARE(platform::nativePath(run.hits()[0].path), hit);
    QCOMPARE(run.hits()[0].start, expected::reportHeader(shownFolder).size());
    QCOMPARE(::rmdir(bad.constData()), 0);
    QCOMPARE(::unlink(hit.constData()), 0);
    QCOMPARE(::rmdir(folder.constData()), 0);
}

QTEST_GUILESS_MAIN(TestSearchRun)
#include "tst_search_run.moc"
