#include "platform/core/member_copies_folder.h"
#include "search/archives/archive_walk.h"
#include "search/archives/member_copy.h"
#include "search/core/file_search.h"
#include "search/core/report.h"
#include "search/core/search_run.h"
#include "support/report_entries.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

using namespace search;

namespace {

const QString kArchives = QStringLiteral(QUARLEX_ARCHIVES_DIR);
const QString kKeyword = QStringLiteral(u"关键字");

struct Run
{
    QString report;
    QList<ReportHit> hits;
};

Run searchOne(const QString &archive, const QString &keyword = kKeyword,
              const QString &folder = kArchives)
{
    RunSnapshot snapshot;
    snapshot.folderPath = folder;
    snapshot.entries.append(RunEntry{archive, true});
    SearchRun run(
        std::move(snapshot), [keyword] { return keyword; }, [] {});
    run.run();
    return Run{run.reportText(), run.hits()};
}

} // namespace

class TestArchiveSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyMemberIsSearchedAsAFile_data();
    void everyMemberIsSearchedAsAFile();
    void memberNamesAreDecoded_data();
    void memberNamesAreDecoded();
    void aMemberOfAHitIsCopiedOutToBeOpened_data();
    void aMemberOfAHitIsCopiedOutToBeOpened();
    void aMailsAttachmentsAreMembers_data();
    void aMailsAttachmentsAreMembers();
    void copiesOlderThanADayAreRemoved();
    void stoppingInsideAnArchiveStopsAtOnce();
    void anArchiveOverItsBudgetIsNamedAndTheNextFileSearched();

private:
    QTemporaryDir m_runtime;
};

void TestArchiveSearch::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void TestArchiveSearch::everyMemberIsSearchedAsAFile_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("hits");       // name, excerpt, name, excerpt, ...
    QTest::addColumn<QStringList>("unreadable"); // name, reason, ...
    const QString damaged = QStringLiteral(u"文档已损坏");
    const QString encrypted = QStringLiteral(u"文档已加密");

    QTest::newRow("text, document and nested archive members of a ZIP, in member order")
        << QStringLiteral("mail.zip")
        << QStringList{QStringLiteral(u"mail.zip/合同/说明.txt"),
                       QStringLiteral(u"第一行这份合同的关键字在第二行里，后面还有一些字。"),
                       QStringLiteral(u"mail.zip/合同/2023.docx"),
                       QStringLiteral(u"用于批量查找文件中的关键字。Search the files"),
                       QStringLiteral(u"mail.zip/资料/旧.zip/说明.txt"),
                       QStringLiteral(u"旧的备份里写着关键字，在第二个文件里。"),
                       QStringLiteral(u"mail.zip/utf8.txt"),
                       QStringLiteral(u"这是UTF-8的关键字。")}
        << QStringList();
    QTest::newRow("a compressed tar holding a 7z, and GBK and UTF-8 text")
        << QStringLiteral("backup.tar.xz")
        << QStringList{QStringLiteral(u"backup.tar.xz/文档/笔记.txt"),
                       QStringLiteral(u"压缩包里的关键字"),
                       QStringLiteral(u"backup.tar.xz/inner.7z/open.txt"),
                       QStringLiteral(u"公开的关键字"),
                       QStringLiteral(u"backup.tar.xz/inner.7z/secret.txt"),
                       QStringLiteral(u"秘密的关键字")}
        << QStringList();
    QTest::newRow("a single compressed file is named after itself")
        << QStringLiteral("notes.txt.gz")
        << QStringList{QStringLiteral(u"notes.txt.gz/notes.txt"),
                       QStringLiteral(u" with the 关键字 in it")}
        << QStringList();
    QTest::newRow("a password on one member: named encrypted, the other searched")
        << QStringLiteral("locked.zip")
        << QStringList{QStringLiteral(u"locked.zip/open.txt"), QStringLiteral(u"公开的关键字")}
        << QStringList{QStringLiteral(u"locked.zip/secret.txt"), encrypted};
    QTest::newRow("a 7z with AES")
        << QStringLiteral("locked.7z") << QStringList()
        << QStringList{QStringLiteral(u"locked.7z/secret.txt"), encrypted};
    QTest::newRow("cut short: what was read is searched, the cut member named damaged")
        << QStringLiteral("cut.zip")
        << QStringList{QStringLiteral(u"cut.zip/first.txt"), QStringLiteral(u"完整的关键字")}
        << QStringList{QStringLiteral(u"cut.zip/second.txt"), damaged};
    QTest::newRow("a bomb member stops only that member")
        << QStringLiteral("bomb.zip")
        << QStringList{QStringLiteral(u"bomb.zip/a.txt"), QStringLiteral(u" keyword: 关键字"),
                       QStringLiteral(u"bomb.zip/b.txt"), QStringLiteral(u" keyword: 关键字")}
        << QStringList{QStringLiteral(u"bomb.zip/zeros.txt"), damaged};
    QTest::newRow("a bomb in a compressed tar")
        << QStringLiteral("bomb.tar.xz") << QStringList()
        << QStringList{QStringLiteral(u"bomb.tar.xz/zeros.bin"), damaged};
    QTest::newRow("an entry laid over by three more: named damaged, the others searched")
        << QStringLiteral("overlap.zip")
        << QStringList{QStringLiteral(u"overlap.zip/a.txt"), QStringLiteral(u" keyword: 关键字"),
                       QStringLiteral(u"overlap.zip/b.txt"), QStringLiteral(u" keyword: 关键字")}
        << QStringList{QStringLiteral(u"overlap.zip/payload.txt"), damaged};
    QTest::newRow("entries holding the next entries' headers")
        << QStringLiteral("quoted.zip") << QStringList()
        << QStringList{QStringLiteral(u"quoted.zip/1.txt"), damaged};
    QString deep = QStringLiteral("deep.zip");
    for (int level = 2; level <= 9; ++level)
        deep += QStringLiteral("/level%1.zip").arg(level);
    QTest::newRow("archives nested deeper than eight levels")
        << QStringLiteral("deep.zip") << QStringList() << QStringList{deep, damaged};
    QTest::newRow("a member path that climbs out is a name like any other")
        << QStringLiteral("climb.zip")
        << QStringList{QStringLiteral(u"climb.zip/../../evil.txt"),
                       QStringLiteral(u"爬出去的关键字")}
        << QStringList();
}

void TestArchiveSearch::everyMemberIsSearchedAsAFile()
{
    QFETCH(QString, archive);
    QFETCH(QStringList, hits);
    QFETCH(QStringList, unreadable);
    QString report = expected::reportHeader(kArchives);
    for (qsizetype i = 0; i + 1 < hits.size(); i += 2)
        report += expected::hitEntry(hits.at(i), hits.at(i + 1));
    if (!unreadable.isEmpty())
        report += expected::kUnreadableHeading;
    for (qsizetype i = 0; i + 1 < unreadable.size(); i += 2)
        report += expected::unreadableEntry(unreadable.at(i), unreadable.at(i + 1));
    const Run run = searchOne(archive);
    QCOMPARE(run.report, report);
    // Every hit entry names the archive and the member within it.
    QCOMPARE(run.hits.size(), hits.size() / 2);
    for (const ReportHit &hit : run.hits) {
        QCOMPARE(hit.path, kArchives + u'/' + archive);
        QVERIFY(!hit.member.isEmpty());
    }
}

void TestArchiveSearch::memberNamesAreDecoded_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("name");
    QTest::newRow("GBK bytes, as Chinese Windows writes names")
        << gbk(QStringLiteral(u"客户/合同.txt")) << QStringLiteral(u"客户/合同.txt");
    QTest::newRow("valid UTF-8 stays UTF-8")
        << QStringLiteral(u"客户/合同.txt").toUtf8() << QStringLiteral(u"客户/合同.txt");
    QTest::newRow("a four-byte GB18030 character")
        << QByteArray("\x81\x30\x89\x37") << QString(QChar(0x00DE));
    QTest::newRow("backslashes and a leading slash")
        << QByteArray("/.\\a\\b.txt") << QStringLiteral("a/b.txt");
}

void TestArchiveSearch::memberNamesAreDecoded()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, name);
    QCOMPARE(archives::decodeMemberName(raw), name);
}

void TestArchiveSearch::aMemberOfAHitIsCopiedOutToBeOpened_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<int>("hit");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("a GBK-named member")
        << QStringLiteral("gbk-names.zip") << 0 << QStringLiteral(u"合同.txt")
        << gbk(QStringLiteral(u"甲方乙方的关键字"));
    QTest::newRow("a member of a ZIP inside a ZIP")
        << QStringLiteral("mail.zip") << 2 << QStringLiteral(u"说明.txt")
        << gbk(QStringLiteral(u"旧的备份里写着关键字，在第二个文件里。"));
    QTest::newRow("a member of a 7z inside a compressed tar")
        << QStringLiteral("backup.tar.xz") << 1 << QStringLiteral(u"open.txt")
        << gbk(QStringLiteral(u"公开的关键字"));
    QTest::newRow("the member of a single compressed file")
        << QStringLiteral("notes.txt.gz") << 0 << QStringLiteral(u"notes.txt")
        << QStringLiteral(u"plain text with the 关键字 in it\n").toUtf8();
    QTest::newRow("a path with ../ stays inside the copies' folder")
        << QStringLiteral("climb.zip") << 0 << QStringLiteral(u"evil.txt")
        << gbk(QStringLiteral(u"爬出去的关键字"));
}

void TestArchiveSearch::aMemberOfAHitIsCopiedOutToBeOpened()
{
    QFETCH(QString, archive);
    QFETCH(int, hit);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    const Run run = searchOne(archive);
    QVERIFY(hit < run.hits.size());
    const QString copy = archives::copyMember(run.hits.at(hit).path, run.hits.at(hit).member);
    QVERIFY(!copy.isEmpty());
    QCOMPARE(QFileInfo(copy).fileName(), fileName);
    QCOMPARE(readAll(copy), bytes);
    // One folder of its own, directly inside the private folder, which only the user can enter.
    const QString folder = platform::memberCopiesFolder();
    QVERIFY(folder.startsWith(m_runtime.path() + u'/'));
    QCOMPARE(QFileInfo(QFileInfo(copy).path()).path(), folder);
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0700));
    QVERIFY(!QFileInfo::exists(QFileInfo(copy).path() + QStringLiteral("/.part")));
}

void TestArchiveSearch::aMailsAttachmentsAreMembers_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("copied"); // the fixture the opened copy equals; empty: no copy
    const QString docx = QStringLiteral(u"合同.docx");
    QTest::newRow("a document attached to a mail")
        << QStringLiteral("mail.eml") << QStringLiteral("NeedleWord")
        << QStringLiteral(u"mail.eml/合同.docx") << QStringLiteral("runs.docx");
    QTest::newRow("a mail inside a ZIP, its attachment")
        << QStringLiteral("mail.zip") << QStringLiteral("NeedleWord")
        << QStringLiteral(u"mail.zip/mail.eml/合同.docx") << QStringLiteral("runs.docx");
    QTest::newRow("a mail attached to a mail")
        << QStringLiteral("mail.eml") << QStringLiteral("NestedMailWord")
        << QStringLiteral(u"mail.eml/内层邮件.eml") << QString();
    QTest::newRow("the mail's own text names the mail alone")
        << QStringLiteral("mail.eml") << QStringLiteral("PlainBodyWord")
        << QStringLiteral("mail.eml") << QString();
    QTest::newRow("a document attached to an Outlook message")
        << QStringLiteral("outlook.msg") << QStringLiteral("NeedleWord")
        << QStringLiteral(u"outlook.msg/合同.docx") << QStringLiteral("runs.docx");
    QTest::newRow("an Outlook message's own text names the message alone")
        << QStringLiteral("outlook.msg") << QStringLiteral("MsgBodyWord")
        << QStringLiteral("outlook.msg") << QString();
    QTest::newRow("a message embedded in an Outlook message is the message's text")
        << QStringLiteral("outlook.msg") << QStringLiteral("EmbeddedBodyWord")
        << QStringLiteral("outlook.msg") << QString();
}

void TestArchiveSearch::aMailsAttachmentsAreMembers()
{
    QFETCH(QString, file);
    QFETCH(QString, keyword);
    QFETCH(QString, entry);
    QFETCH(QString, copied);
    const QString mail = kArchives + QStringLiteral("/../documents/mail");
    const Run run = searchOne(file, keyword, mail);
    QCOMPARE(run.hits.size(), 1);
    const QString shown = run.report.mid(run.hits.at(0).start, run.hits.at(0).length);
    // The entry names `entry`, not a member below it.
    QVERIFY2(shown.trimmed().startsWith(entry + u'：'), qPrintable(shown));
    if (copied.isEmpty())
        return;
    const QString copy = archives::copyMember(run.hits.at(0).path, run.hits.at(0).member);
    QVERIFY(!copy.isEmpty());
    QCOMPARE(QFileInfo(copy).fileName(), QStringLiteral(u"合同.docx"));
    QCOMPARE(readAll(copy), readAll(kArchives + QStringLiteral("/../documents/") + copied));
}

void TestArchiveSearch::copiesOlderThanADayAreRemoved()
{
    const QString folder = platform::memberCopiesFolder();
    QVERIFY(!folder.isEmpty());
    const Run run = searchOne(QStringLiteral("gbk-names.zip"));
    QCOMPARE(run.hits.size(), 1);
    const QString fresh = archives::copyMember(run.hits.at(0).path, run.hits.at(0).member);
    const QString old = archives::copyMember(run.hits.at(0).path, run.hits.at(0).member);
    QVERIFY(!fresh.isEmpty() && !old.isEmpty());
    const QByteArray oldFolder = QFile::encodeName(QFileInfo(old).path());
    struct utimbuf times;
    times.actime = times.modtime = ::time(nullptr) - 25 * 60 * 60;
    QCOMPARE(::utime(oldFolder.constData(), &times), 0);
    platform::removeOldMemberCopies();
    QVERIFY(QFileInfo::exists(fresh));
    QVERIFY(!QFileInfo::exists(QFile::decodeName(oldFolder)));
}

void TestArchiveSearch::stoppingInsideAnArchiveStopsAtOnce()
{
    // Stopped while the bomb member inflates: the search answers Stopped, having asked again
    // only a few times after the stop.
    FileSearch search;
    int calls = 0;
    int callsAfterStop = 0;
    const FileSearchResult result =
        search.search(kArchives + QStringLiteral("/bomb.zip"), kKeyword, [&] {
            ++calls;
            if (calls > 20)
                ++callsAfterStop;
            return calls <= 20;
        });
    QCOMPARE(result.outcome, FileSearchResult::Outcome::Stopped);
    QVERIFY(callsAfterStop <= 2);
}

void TestArchiveSearch::anArchiveOverItsBudgetIsNamedAndTheNextFileSearched()
{
    // 4,096 runs of 8 MiB nested three levels deep, each below the bound of one member: the
    // archive's budget ends it as a whole long before its 32 GiB are inflated, and the file after
    // it in the run is searched as usual.
    RunSnapshot snapshot;
    snapshot.folderPath = kArchives;
    snapshot.entries = {RunEntry{QStringLiteral("nested.zip"), true},
                        RunEntry{QStringLiteral("notes.txt.gz"), true}};
    SearchRun run(
        std::move(snapshot), [] { return kKeyword; }, [] {});
    run.run();
    QCOMPARE(run.reportText(), expected::reportHeader(kArchives) +
                                   expected::hitEntry(QStringLiteral(u"notes.txt.gz/notes.txt"),
                                                      QStringLiteral(u" with the 关键字 in it")) +
                                   expected::kUnreadableHeading +
                                   expected::unreadableEntry(QStringLiteral("nested.zip"),
                                                             QStringLiteral(u"文档已损坏")));
}

QTEST_GUILESS_MAIN(TestArchiveSearch)
#include "tst_archive_search.moc"
