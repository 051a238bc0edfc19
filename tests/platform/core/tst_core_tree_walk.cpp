#include "platform/core/paths.h"
#include "platform/core/tree_walk.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::TreeWalk;

namespace {

// The names a walk of `folder` gives, in order; `accept` as in TreeWalk (every file by default).
QStringList walked(const QString &folder, TreeWalk::Accept accept = {})
{
    if (!accept)
        accept = [](const QString &, bool) { return true; };
    QStringList names;
    TreeWalk walk(accept, [&](QList<platform::TreeFile> &&files) {
        for (const platform::TreeFile &file : files)
            names.append(file.shown);
    });
    walk.run(folder);
    return names;
}

} // namespace

// Walking a folder tree: order, what is left out, links, unreadable folders, stopping.
class TestTreeWalk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void filesFirstThenSubfoldersEachByNameWithoutCase();
    void theFilterSeesBareNamesAndTheDepth();
    void aLinkLoopIsNotFollowed();
    void anUnreadableFolderIsSkipped();
    void virtualFileSystems_data();
    void virtualFileSystems();
    void aStopEndsTheWalk();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
};

void TestTreeWalk::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_root = m_dir->path();
    QStringList files;
    for (const char *file :
         {"b.txt", "A.txt", ".hidden.txt", "sub2/z.txt", "Sub1/c.txt", "Sub1/deeper/d.txt",
          "Sub1/B.doc", ".git/objects/x", "Sub1/.cache/y.txt"})
        files.append(QLatin1String(file));
    QVERIFY(writeTree(m_root, files));
}

void TestTreeWalk::filesFirstThenSubfoldersEachByNameWithoutCase()
{
    // A GBK-named folder ("测试") is walked too, shown readable.
    const QByteArray gbk = platform::nativePath(m_root) + "/\xb2\xe2\xca\xd4";
    const QByteArray inside = gbk + "/e.txt";
    QCOMPARE(::mkdir(gbk.constData(), 0700), 0);
    QCOMPARE(::close(::open(inside.constData(), O_WRONLY | O_CREAT, 0600)), 0);
    QCOMPARE(
        walked(m_root),
        (QStringList{QStringLiteral("A.txt"), QStringLiteral("b.txt"), QStringLiteral("Sub1/B.doc"),
                     QStringLiteral("Sub1/c.txt"), QStringLiteral("Sub1/deeper/d.txt"),
                     QStringLiteral("sub2/z.txt"), QStringLiteral(u"测试/e.txt")}));
    QCOMPARE(::unlink(inside.constData()), 0);
    QCOMPARE(::rmdir(gbk.constData()), 0);
}

void TestTreeWalk::theFilterSeesBareNamesAndTheDepth()
{
    QCOMPARE(
        walked(m_root, [](const QString &name,
                          bool inTop) { return name.endsWith(QStringLiteral(".txt")) && !inTop; }),
        (QStringList{QStringLiteral("Sub1/c.txt"), QStringLiteral("Sub1/deeper/d.txt"),
                     QStringLiteral("sub2/z.txt")}));
}

void TestTreeWalk::aLinkLoopIsNotFollowed()
{
    QVERIFY(QFile::link(m_root, m_root + QStringLiteral("/Sub1/deeper/up")));
    QVERIFY(QFile::link(m_root + QStringLiteral("/b.txt"), m_root + QStringLiteral("/sub2/l.txt")));
    // The link to a folder is left out, the link to a file is listed.
    QCOMPARE(walked(m_root + QStringLiteral("/Sub1")),
             (QStringList{QStringLiteral("B.doc"), QStringLiteral("c.txt"),
                          QStringLiteral("deeper/d.txt")}));
    QCOMPARE(walked(m_root + QStringLiteral("/sub2")),
             (QStringList{QStringLiteral("l.txt"), QStringLiteral("z.txt")}));
}

void TestTreeWalk::anUnreadableFolderIsSkipped()
{
    QCOMPARE(::chmod(QFile::encodeName(m_root).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(m_root + QStringLiteral("/Sub1")).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(m_root + QStringLiteral("/Sub1/deeper")).constData(), 0), 0);
    QCOMPARE(::chmod(QFile::encodeName(m_root + QStringLiteral("/sub2")).constData(), 0755), 0);
    // Permissions do not hold for root: the walk then runs in a child that gives them up.
    int pipeFds[2];
    QCOMPARE(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        const QByteArray names = walked(m_root).join(u'\n').toUtf8();
        const bool written = ::write(pipeFds[1], names.constData(), names.size()) == names.size();
        ::_exit(written ? 0 : 3);
    }
    ::close(pipeFds[1]);
    QByteArray names;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        names.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    ::chmod(QFile::encodeName(m_root + QStringLiteral("/Sub1/deeper")).constData(), 0700);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(QString::fromUtf8(names),
             QStringLiteral("A.txt\nb.txt\nSub1/B.doc\nSub1/c.txt\nsub2/z.txt"));
}

void TestTreeWalk::virtualFileSystems_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("virtualFs");
    QTest::newRow("/proc") << "/proc" << true;
    QTest::newRow("inside /sys") << "/sys/kernel" << true;
    QTest::newRow("/dev") << "/dev" << true;
    QTest::newRow("/run") << "/run/user/1000" << true;
    QTest::newRow("removable media below /run") << "/run/media/me/STICK" << false;
    QTest::newRow("a name that only starts like one") << "/processes" << false;
    QTest::newRow("a home folder") << "/home/me" << false;
}

void TestTreeWalk::virtualFileSystems()
{
    QFETCH(QString, path);
    QFETCH(bool, virtualFs);
    QCOMPARE(TreeWalk::isVirtualFileSystem(path), virtualFs);
}

void TestTreeWalk::aStopEndsTheWalk()
{
    std::atomic<bool> stop{false};
    QStringList names;
    TreeWalk walk([](const QString &, bool) { return true; },
                  [&](QList<platform::TreeFile> &&files) {
                      for (const platform::TreeFile &file : files)
                          names.append(file.name);
                      stop = true; // after the first folder's files
                  },
                  &stop);
    QVERIFY(walk.run(m_root));
    QCOMPARE(names, (QStringList{QStringLiteral("A.txt"), QStringLiteral("b.txt")}));
}

QTEST_GUILESS_MAIN(TestTreeWalk)
#include "tst_core_tree_walk.moc"
