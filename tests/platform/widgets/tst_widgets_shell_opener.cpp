#include "platform/widgets/shell_opener.h"

#include "platform/core/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::DesktopShellOpener;

// Runs the desktop opener against a stand-in xdg-open, first on PATH, that writes down the
// arguments it was given, one per line, and the folder it was started in.
class TestShellOpener : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void absolutePaths_data();
    void absolutePaths();
    void namesReachTheOpenerUnchanged_data();
    void namesReachTheOpenerUnchanged();
    void aNameThatIsNotUtf8GoesAsAUrlOfItsBytes();
    void onlyTheOpenVerbIsCarriedOut();
    void aMissingOpenerFailsQuietly();

private:
    QString recordFor(const QString &name) const;

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_files;
    QByteArray m_savedPath;
};

void TestShellOpener::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_bin = m_dir.filePath(QStringLiteral("bin"));
    m_files = m_dir.filePath(QStringLiteral("files"));
    QVERIFY(QDir().mkpath(m_bin));
    QVERIFY(QDir().mkpath(m_files));
    QFile stub(m_bin + QStringLiteral("/xdg-open"));
    QVERIFY(stub.open(QIODevice::WriteOnly));
    // Each call writes to its own record named after a counter, atomically by a rename.
    stub.write("#!/bin/sh\n"
               "dir=\"$(dirname \"$0\")\"\n"
               "tmp=\"$dir/record.$$\"\n"
               "{ echo \"argc=$#\"; for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done;"
               " printf 'cwd=%s\\n' \"$(pwd)\"; } > \"$tmp\"\n"
               "mv \"$tmp\" \"$dir/record.done.$$\"\n");
    stub.close();
    QVERIFY(stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_bin) + ':' + m_savedPath);
}

void TestShellOpener::cleanupTestCase()
{
    qputenv("PATH", m_savedPath);
}

void TestShellOpener::absolutePaths_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");

    QTest::newRow("a name in a folder with a trailing separator") << "a.txt"
                                                                  << "/home/me/"
                                                                  << "/home/me/a.txt";
    QTest::newRow("a name in the root folder's doubled separator") << "a.txt"
                                                                   << "//"
                                                                   << "/a.txt";
    QTest::newRow("a name beginning with a dash stays behind the folder") << "-x"
                                                                          << "/tmp/"
                                                                          << "/tmp/-x";
    QTest::newRow("a name with blanks") << "a b.txt"
                                        << "/tmp/"
                                        << "/tmp/a b.txt";
}

void TestShellOpener::absolutePaths()
{
    QFETCH(QString, file);
    QFETCH(QString, folder);
    QFETCH(QString, path);
    QCOMPARE(DesktopShellOpener::absolutePath(file, folder), path);
}

QString TestShellOpener::recordFor(const QString &name) const
{
    for (const QString &record :
         QDir(m_bin).entryList({QStringLiteral("record.done.*")}, QDir::Files)) {
        QFile file(m_bin + QLatin1Char('/') + record);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        if (text.contains(QStringLiteral("arg=") + m_files + QLatin1Char('/') + name +
                          QLatin1Char('\n')))
            return text;
    }
    return QString();
}

void TestShellOpener::namesReachTheOpenerUnchanged_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("a name that looks like an option") << "-x";
    QTest::newRow("a name with blanks") << "two words.txt";
    QTest::newRow("a name with quotes") << "it's \"quoted\".txt";
    QTest::newRow("a name with a command substitution") << "$(touch pwned).txt";
    QTest::newRow("a name with a semicolon") << "a;touch pwned2";
    QTest::newRow("a name with back quotes") << "`touch pwned3`";
    QTest::newRow("a Chinese name") << QStringLiteral(u"中文 文件.txt");
}

void TestShellOpener::namesReachTheOpenerUnchanged()
{
    QFETCH(QString, name);
    QFile target(m_files + QLatin1Char('/') + name);
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.close();

    DesktopShellOpener opener;
    QVERIFY(opener.open(nullptr, QStringLiteral("open"), name, QString(),
                        m_files + QLatin1Char('/'), DesktopShellOpener::kShowRestore));
    QTRY_VERIFY_WITH_TIMEOUT(!recordFor(name).isEmpty(), 10000);
    const QString record = recordFor(name);
    QCOMPARE(record, QStringLiteral("argc=1\narg=") + m_files + QLatin1Char('/') + name +
                         QStringLiteral("\ncwd=") + m_files + QLatin1Char('\n'));
    for (const char *made : {"pwned", "pwned2", "pwned3"}) {
        QVERIFY(!QFile::exists(m_files + QLatin1Char('/') + QLatin1String(made)));
        QVERIFY(!QFile::exists(m_bin + QLatin1Char('/') + QLatin1String(made)));
    }
}

void TestShellOpener::aNameThatIsNotUtf8GoesAsAUrlOfItsBytes()
{
    // The folder "文件" and in it "测试.txt", both in GBK.
    const QByteArray folder = QFile::encodeName(m_files) + "/\xce\xc4\xbc\xfe";
    const QByteArray file = folder + "/\xb2\xe2\xca\xd4.txt";
    QCOMPARE(::mkdir(folder.constData(), 0700), 0);
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);
    const QString heldFolder = platform::pathFromNative(folder);
    const QString heldName = platform::pathFromNative(QByteArrayView("\xb2\xe2\xca\xd4.txt"));

    DesktopShellOpener opener;
    QVERIFY(opener.open(nullptr, QStringLiteral("open"), heldName, QString(),
                        heldFolder + QLatin1Char('/'), DesktopShellOpener::kShowRestore));
    const QString url =
        QStringLiteral("file://") + m_files + QStringLiteral("/%CE%C4%BC%FE/%B2%E2%CA%D4.txt");
    const auto record = [&] {
        for (const QString &name :
             QDir(m_bin).entryList({QStringLiteral("record.done.*")}, QDir::Files)) {
            QFile done(m_bin + QLatin1Char('/') + name);
            if (done.open(QIODevice::ReadOnly)) {
                const QString text = QString::fromUtf8(done.readAll());
                if (text.contains(url))
                    return text;
            }
        }
        return QString();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!record().isEmpty(), 10000);
    // The folder cannot be given to the process by its bytes; the opener starts in the root.
    QCOMPARE(record(), QStringLiteral("argc=1\narg=") + url + QStringLiteral("\ncwd=/\n"));
    QCOMPARE(::unlink(file.constData()), 0);
    QCOMPARE(::rmdir(folder.constData()), 0);
}

void TestShellOpener::onlyTheOpenVerbIsCarriedOut()
{
    DesktopShellOpener opener;
    QVERIFY(!opener.open(nullptr, QStringLiteral("print"), QStringLiteral("a.txt"), QString(),
                         m_files + QLatin1Char('/'), DesktopShellOpener::kShowRestore));
    QVERIFY(!opener.open(nullptr, QStringLiteral("open"), QString(), QString(),
                         m_files + QLatin1Char('/'), DesktopShellOpener::kShowRestore));
}

void TestShellOpener::aMissingOpenerFailsQuietly()
{
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_files));
    DesktopShellOpener opener;
    const bool handed =
        opener.open(nullptr, QStringLiteral("open"), QStringLiteral("a.txt"), QString(),
                    m_files + QLatin1Char('/'), DesktopShellOpener::kShowRestore);
    qputenv("PATH", path);
    QVERIFY(!handed);
}

QTEST_MAIN(TestShellOpener)
#include "tst_widgets_shell_opener.moc"
