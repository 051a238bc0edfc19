#include "platform/core/paths.h"
#include "platform/core/program.h"
#include "settings/last_location.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using settings::LastLocation;

namespace {

// Names of the files in `folder` that are the last-location file in some case.
QStringList lastLocationFiles(const QString &folder)
{
    QStringList names;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        if (name.compare(QStringLiteral("find.ini"), Qt::CaseInsensitive) == 0)
            names.append(name);
    }
    return names;
}

} // namespace

class TestLastLocation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void writesFourLinesInTheCodePage();
    void roundTrip_data();
    void roundTrip();
    void firstRunHasNoValues();
    void filesWrittenByHand_data();
    void filesWrittenByHand();
    void aFileWrittenInAnotherCaseIsReadAndReplaced();
    void theNewestOfSeveralCaseVariantsIsRead();
    void unencodableValuesAreWrittenInUtf8WithAMark();
    void aFolderWhoseNameIsNotUtf8IsWrittenByItsBytes();
    void aSaveReplacesTheWholeFile();
    void aHugeFileIsReadOnlyAsFarAsTheFields();
    void somethingOtherThanAFileIsNotRead();
    void aSaveIntoAnUnwritableFolderFails();
    void theProgramFolderHoldsTheFileWhenWritable();
    void theConfigurationFolderHoldsTheFileOtherwise();

private:
    QTemporaryDir m_dir;
    int m_count = 0;
    QString freshFolder();
};

void TestLastLocation::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

QString TestLastLocation::freshFolder()
{
    const QString folder = m_dir.filePath(QString::number(++m_count));
    QDir().mkpath(folder);
    return folder;
}

void TestLastLocation::writesFourLinesInTheCodePage()
{
    const QString folder = freshFolder();
    QVERIFY(settings::writeLastLocation(
        folder, {QStringLiteral("/media/u [数据]"), QStringLiteral(u"/media/u/报告 2024")}));
    QCOMPARE(lastLocationFiles(folder), QStringList{QStringLiteral("find.ini")});
    QCOMPARE(
        readAll(folder + QStringLiteral("/find.ini")),
        gbk(QStringLiteral(u"[路径]\r\n/media/u [数据]\r\n/media/u/报告 2024\r\n[/路径]\r\n")));
}

void TestLastLocation::roundTrip_data()
{
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("readDrive");
    QTest::addColumn<QString>("readPath");

    QTest::newRow("a drive and a folder come back as saved") << "/"
                                                             << "/home/me/docs"
                                                             << "/"
                                                             << "/home/me/docs";
    QTest::newRow("a labelled drive and a Chinese folder come back as saved")
        << QStringLiteral(u"/media/盘 [资料]") << QStringLiteral(u"/media/盘/文件夹")
        << QStringLiteral(u"/media/盘 [资料]") << QStringLiteral(u"/media/盘/文件夹");
    QTest::newRow("blanks inside a folder name stay") << "/"
                                                      << "/a b/c  d"
                                                      << "/"
                                                      << "/a b/c  d";
    QTest::newRow("a folder with a comma comes back only up to the comma") << "/"
                                                                           << "/home/me/a,b"
                                                                           << "/"
                                                                           << "/home/me/a";
    QTest::newRow("a label with a comma is cut, the mount point stays") << "/media/u [x,y]"
                                                                        << "/media/u"
                                                                        << "/media/u [x"
                                                                        << "y]";
    QTest::newRow("leading blanks of a folder are dropped") << "/"
                                                            << "  /x"
                                                            << "/"
                                                            << "/x";
    QTest::newRow("an empty folder reads as empty") << "/"
                                                    << ""
                                                    << "/"
                                                    << "";
}

void TestLastLocation::roundTrip()
{
    QFETCH(QString, drive);
    QFETCH(QString, path);
    QFETCH(QString, readDrive);
    QFETCH(QString, readPath);
    const QString folder = freshFolder();
    QVERIFY(settings::writeLastLocation(folder, {drive, path}));
    const LastLocation read = settings::readLastLocation(folder);
    QCOMPARE(read.drive, readDrive);
    QCOMPARE(read.path, readPath);
}

void TestLastLocation::firstRunHasNoValues()
{
    const QString folder = freshFolder();
    QCOMPARE(settings::findLastLocationFile(folder), QString());
    const LastLocation read = settings::readLastLocation(folder);
    QVERIFY(read.drive.isEmpty());
    QVERIFY(read.path.isEmpty());
    QVERIFY(settings::readLastLocation(m_dir.filePath(QStringLiteral("no-such-folder")))
                .drive.isEmpty());
}

void TestLastLocation::filesWrittenByHand_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("path");

    QTest::newRow("an empty file gives nothing") << QByteArray() << ""
                                                 << "";
    QTest::newRow("the marker alone is taken as the drive, which names none")
        << gbk(QStringLiteral(u"[路径]\r\n")) << QStringLiteral(u"[路径]") << "";
    QTest::newRow("an empty second line gives an empty drive")
        << gbk(QStringLiteral(u"[路径]\r\n\r\n/x\r\n[/路径]\r\n")) << ""
        << "/x";
    QTest::newRow("a file without the path line gives an empty path")
        << gbk(QStringLiteral(u"[路径]\r\n/\r\n")) << "/"
        << "";
    QTest::newRow("line feeds alone end lines too")
        << gbk(QStringLiteral(u"[路径]\n/\n/tmp\n[/路径]\n")) << "/"
        << "/tmp";
    QTest::newRow("a quoted folder keeps its comma")
        << QByteArray("[x]\r\n/\r\n\"/a,b\"\r\n") << "/"
        << "/a,b";
    QTest::newRow("the fourth line is never read") << QByteArray("m\r\n/\r\n/p\r\n/q\r\n") << "/"
                                                   << "/p";
    QTest::newRow("a UTF-8 file with a byte-order mark")
        << (QByteArray("\xEF\xBB\xBF") + QStringLiteral(u"[路径]\r\n/\r\n/한국\r\n").toUtf8())
        << "/" << QStringLiteral(u"/한국");
}

void TestLastLocation::filesWrittenByHand()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, drive);
    QFETCH(QString, path);
    const QString folder = freshFolder();
    QVERIFY(writeFile(folder + QStringLiteral("/find.ini"), bytes));
    const LastLocation read = settings::readLastLocation(folder);
    QCOMPARE(read.drive, drive);
    QCOMPARE(read.path, path);
}

void TestLastLocation::aFileWrittenInAnotherCaseIsReadAndReplaced()
{
    const QString folder = freshFolder();
    QVERIFY(writeFile(folder + QStringLiteral("/Find.INI"),
                      gbk(QStringLiteral(u"[路径]\r\n/\r\n/srv\r\n[/路径]\r\n"))));
    const LastLocation read = settings::readLastLocation(folder);
    QCOMPARE(read.drive, QStringLiteral("/"));
    QCOMPARE(read.path, QStringLiteral("/srv"));
    QVERIFY(settings::writeLastLocation(folder, {QStringLiteral("/"), QStringLiteral("/opt")}));
    QCOMPARE(lastLocationFiles(folder), QStringList{QStringLiteral("find.ini")});
    QCOMPARE(settings::readLastLocation(folder).path, QStringLiteral("/opt"));
}

void TestLastLocation::theNewestOfSeveralCaseVariantsIsRead()
{
    const QString folder = freshFolder();
    QVERIFY(writeFile(folder + QStringLiteral("/FIND.ini"), QByteArray("m\r\n/\r\n/old\r\n")));
    QFile old(folder + QStringLiteral("/FIND.ini"));
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addDays(-1),
                            QFileDevice::FileModificationTime));
    old.close();
    QVERIFY(writeFile(folder + QStringLiteral("/Find.Ini"), QByteArray("m\r\n/\r\n/new\r\n")));
    QCOMPARE(settings::readLastLocation(folder).path, QStringLiteral("/new"));
    QVERIFY(settings::writeLastLocation(folder, {QStringLiteral("/"), QStringLiteral("/saved")}));
    QCOMPARE(lastLocationFiles(folder), QStringList{QStringLiteral("find.ini")});
}

void TestLastLocation::unencodableValuesAreWrittenInUtf8WithAMark()
{
    const QString folder = freshFolder();
    const QString drive = QStringLiteral(u"/media/disk [😀]");
    const QString path = QStringLiteral(u"/media/disk/한국어 폴더");
    QVERIFY(settings::writeLastLocation(folder, {drive, path}));
    QCOMPARE(readAll(folder + QStringLiteral("/find.ini")),
             QByteArray("\xEF\xBB\xBF") +
                 (QStringLiteral(u"[路径]\r\n") + drive + QStringLiteral("\r\n") + path +
                  QStringLiteral(u"\r\n[/路径]\r\n"))
                     .toUtf8());
    const LastLocation read = settings::readLastLocation(folder);
    QCOMPARE(read.drive, drive);
    QCOMPARE(read.path, path);
}

void TestLastLocation::aFolderWhoseNameIsNotUtf8IsWrittenByItsBytes()
{
    const QString folder = freshFolder();
    // "资料/测试": a UTF-8 folder, in it one whose name is "测试" in GBK bytes.
    const QString utf8 = folder + QStringLiteral(u"/资料");
    QVERIFY(QDir().mkpath(utf8));
    const QByteArray raw = platform::nativePath(utf8) + "/\xb2\xe2\xca\xd4";
    QCOMPARE(::mkdir(raw.constData(), 0700), 0);
    const QString held = platform::pathFromNative(raw);

    QVERIFY(settings::writeLastLocation(folder, {QStringLiteral("/"), held}));
    // In the code page, as always; the GBK name is its own bytes there.
    QCOMPARE(readAll(folder + QStringLiteral("/find.ini")),
             lastLocationFileBytes(QStringLiteral("/"), utf8 + QStringLiteral(u"/测试")));
    const LastLocation read = settings::readLastLocation(folder);
    QCOMPARE(read.path, held);
    QCOMPARE(platform::nativePath(read.path), raw);
    QCOMPARE(::rmdir(raw.constData()), 0);
}

void TestLastLocation::aSaveReplacesTheWholeFile()
{
    const QString folder = freshFolder();
    QVERIFY(writeFile(folder + QStringLiteral("/find.ini"), QByteArray(10000, 'x')));
    QVERIFY(settings::writeLastLocation(folder, {QStringLiteral("/"), QStringLiteral("/a")}));
    QCOMPARE(readAll(folder + QStringLiteral("/find.ini")),
             gbk(QStringLiteral(u"[路径]\r\n/\r\n/a\r\n[/路径]\r\n")));
    // Saving the same again still writes the file anew.
    QVERIFY(settings::writeLastLocation(folder, {QStringLiteral("/"), QStringLiteral("/a")}));
    QCOMPARE(readAll(folder + QStringLiteral("/find.ini")),
             gbk(QStringLiteral(u"[路径]\r\n/\r\n/a\r\n[/路径]\r\n")));
}

void TestLastLocation::aHugeFileIsReadOnlyAsFarAsTheFields()
{
    // Four gigabytes of which only the start is on disk: reading it all would not end in time.
    const QString folder = freshFolder();
    const QString path = folder + QStringLiteral("/find.ini");
    QVERIFY(writeFile(path, gbk(QStringLiteral(u"[路径]\r\n/\r\n/huge\r\n"))));
    QFile file(path);
    QVERIFY(file.resize(qint64(4) << 30));
    const LastLocation read = settings::readLastLocation(folder);
    QCOMPARE(read.drive, QStringLiteral("/"));
    QCOMPARE(read.path, QStringLiteral("/huge"));
}

void TestLastLocation::somethingOtherThanAFileIsNotRead()
{
    const QString fifoFolder = freshFolder();
    // A FIFO would block the reader until someone writes to it.
    QCOMPARE(
        ::mkfifo(QFile::encodeName(fifoFolder + QStringLiteral("/find.ini")).constData(), 0600), 0);
    QCOMPARE(settings::findLastLocationFile(fifoFolder), QString());
    QVERIFY(settings::readLastLocation(fifoFolder).drive.isEmpty());

    const QString dirFolder = freshFolder();
    QVERIFY(QDir().mkpath(dirFolder + QStringLiteral("/Find.ini")));
    QVERIFY(settings::readLastLocation(dirFolder).drive.isEmpty());
}

void TestLastLocation::aSaveIntoAnUnwritableFolderFails()
{
    // Nobody, root included, creates files in /proc.
    QVERIFY(!settings::writeLastLocation(QStringLiteral("/proc"),
                                         {QStringLiteral("/"), QStringLiteral("/x")}));
    QVERIFY(!settings::writeLastLocation(m_dir.filePath(QStringLiteral("missing/folder")),
                                         {QStringLiteral("/"), QStringLiteral("/x")}));
}

void TestLastLocation::theProgramFolderHoldsTheFileWhenWritable()
{
    const QString folder = freshFolder();
    const QString chosen = platform::lastLocationFolder(folder);
    QCOMPARE(chosen, folder);
    QVERIFY(settings::writeLastLocation(chosen, {QStringLiteral("/"), QStringLiteral("/p")}));
    QVERIFY(QFile::exists(folder + QStringLiteral("/find.ini")));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("find.ini")});
}

void TestLastLocation::theConfigurationFolderHoldsTheFileOtherwise()
{
    // An installed program's folder cannot be written; /proc stands for it here.
    const QString chosen = platform::lastLocationFolder(QStringLiteral("/proc"));
    QCOMPARE(chosen, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    QVERIFY(chosen.startsWith(QDir::homePath()));
    QVERIFY(settings::writeLastLocation(chosen, {QStringLiteral("/"), QStringLiteral("/cfg")}));
    QCOMPARE(settings::readLastLocation(platform::lastLocationFolder(QStringLiteral("/proc"))).path,
             QStringLiteral("/cfg"));
    QVERIFY(QFile::remove(chosen + QStringLiteral("/find.ini")));
}

QTEST_GUILESS_MAIN(TestLastLocation)
#include "tst_last_location.moc"
