#include "platform/core/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void lastLocationStaysBesideAWritableProgram();
    void lastLocationMovesToTheConfigFolderWhenTheProgramFolderIsReadOnly();
    void programFolderIsTheExecutablesFolder();
};

void TestProgram::lastLocationStaysBesideAWritableProgram()
{
    QTemporaryDir dir;
    const QString folder = QDir::toNativeSeparators(dir.path());
    QCOMPARE(platform::lastLocationFolder(folder), folder);
}

void TestProgram::lastLocationMovesToTheConfigFolderWhenTheProgramFolderIsReadOnly()
{
    // /proc refuses new files even to root, as /usr/bin does to a user.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QVERIFY(!config.isEmpty());
    QCOMPARE(platform::lastLocationFolder(QStringLiteral("/proc")),
             QDir::toNativeSeparators(config));
    QVERIFY(QDir(config).exists());
    QCOMPARE(platform::lastLocationFolder(QStringLiteral("/no/such/folder")),
             QDir::toNativeSeparators(config));
}

void TestProgram::programFolderIsTheExecutablesFolder()
{
    const QString folder = platform::programFolder();
    QVERIFY(!folder.endsWith(QLatin1Char('/')));
    QVERIFY(QFileInfo::exists(folder + QLatin1Char('/') +
                              QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
    QCOMPARE(platform::applicationTitle(), QStringLiteral("Quarlex"));
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_core_program.moc"
