#include "search/cache/cache_test_support.h"
#include "search/cache/text_cache.h"
#include "search/core/file_search.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace search;
using namespace cachetest;
using textcache::TextCache;

namespace {

QString findProgram(const QString &name)
{
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return found;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A FAT file system made with mkfs.vfat in an image file and mounted for the test: through a
// loop device where the kernel has vfat, else through fusefat (FUSE) where the kernel does not
// (containers). Unmounted when this goes.
class FatVolume
{
public:
    // Empty when it is mounted; else why not.
    QString mount(const QString &image, const QString &at)
    {
        if (::geteuid() != 0)
            return QStringLiteral("mounting needs root");
        const QString mkfs = findProgram(QStringLiteral("mkfs.vfat"));
        if (mkfs.isEmpty())
            return QStringLiteral("mkfs.vfat (dosfstools) is not installed");
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(8) << 20))
            return QStringLiteral("no image file");
        file.close();
        if (!run(mkfs, {image}) || !QDir().mkpath(at))
            return QStringLiteral("mkfs.vfat failed");
        if (run(QStringLiteral("mount"),
                {QStringLiteral("-o"), QStringLiteral("loop"), QStringLiteral("-t"),
                 QStringLiteral("vfat"), image, at})) {
            m_unmount = {QStringLiteral("umount"), {at}};
            return QString();
        }
        const QString fuse = findProgram(QStringLiteral("fusefat"));
        if (!fuse.isEmpty() &&
            run(fuse, {QStringLiteral("-o"), QStringLiteral("rw+"), image, at})) {
            m_unmount = {QStringLiteral("fusermount"), {QStringLiteral("-u"), at}};
            return QString();
        }
        return QStringLiteral("neither a loop mount of vfat nor fusefat works here");
    }

    ~FatVolume()
    {
        if (!m_unmount.first.isEmpty())
            run(m_unmount.first, m_unmount.second);
    }

private:
    QPair<QString, QStringList> m_unmount;
};

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.write(bytes) == bytes.size();
}

} // namespace

// The kept text of a document on a file system whose times cannot tell a change (vfat, as on USB
// sticks): served while the file is as it was, never after a rewrite that the times miss.
class TestTextCacheVfat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aSameSizeRewriteWithTheSameTimesIsReadAnew();
};

void TestTextCacheVfat::aSameSizeRewriteWithTheSameTimesIsReadAnew()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FatVolume volume;
    const QString stick = dir.filePath(QStringLiteral("stick"));
    if (const QString why = volume.mount(dir.filePath(QStringLiteral("fat.img")), stick);
        !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString path = stick + QStringLiteral("/doc.rtf");
    const QByteArray before = "{\\rtf1\\ansi The NeedleWord is here.\\par}";
    const QByteArray after = "{\\rtf1\\ansi The OtherWords is here.\\par}";
    QCOMPARE(before.size(), after.size());
    QVERIFY(writeBytes(path, before));
    const QString keyword = QStringLiteral("NeedleWord");

    TextCache cache(dir.filePath(QStringLiteral("cache")));
    const auto [first, firstStats] = searchWith(&cache, path, keyword);
    QCOMPARE(first.outcome, FileSearchResult::Outcome::Hit);
    QVERIFY(firstStats.storedInCache);
    // As it was: served from the cache.
    const auto [again, againStats] = searchWith(&cache, path, keyword);
    QCOMPARE(again.outcome, FileSearchResult::Outcome::Hit);
    QVERIFY(againStats.fromCache);

    // The same size rewritten in place, its time set back: the file system shows the same file,
    // size and time (vfat keeps no change time of its own; where the system makes one up for a
    // mounted volume, it is gone once the stick is plugged in again).
    struct stat old;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &old), 0);
    QVERIFY(writeBytes(path, after));
    const struct timespec times[2] = {old.st_atim, old.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    struct stat now;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &now), 0);
    QCOMPARE(now.st_ino, old.st_ino);
    QCOMPARE(now.st_size, old.st_size);
    QCOMPARE(now.st_mtim.tv_sec, old.st_mtim.tv_sec);
    QCOMPARE(now.st_mtim.tv_nsec, old.st_mtim.tv_nsec);

    const auto [changed, changedStats] = searchWith(&cache, path, keyword);
    QVERIFY(!changedStats.fromCache);
    QCOMPARE(changed.outcome, FileSearchResult::Outcome::NoHit);
    QCOMPARE(searchWith(&cache, path, QStringLiteral("OtherWords")).first.outcome,
             FileSearchResult::Outcome::Hit);
}

QTEST_GUILESS_MAIN(TestTextCacheVfat)
#include "tst_text_cache_vfat.moc"
