#include "search/cache/entry_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <sys/stat.h>
#include <utime.h>

using textcache::EntryStore;

namespace {

constexpr qint64 kEntrySize = 1000;
constexpr qint64 kDay = 86400;

// The name of the entry numbered `id`: its first 16 hex digits are the id.
QString entryName(int id)
{
    return QStringLiteral("%1").arg(id, 16, 16, QLatin1Char('0')) + QString(24, u'0') +
           QStringLiteral(".qtc");
}

bool writeFile(const QString &path, qint64 size, qint64 modified)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(size, 'x')) != size)
        return false;
    file.close();
    const struct utimbuf times
    {
        time_t(modified), time_t(modified)
    };
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
}

} // namespace

class TestEntryStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aFullFolderLosesTheLeastRecentlyUsed_data();
    void aFullFolderLosesTheLeastRecentlyUsed();
    void onlyEntriesAreCounted_data();
    void onlyEntriesAreCounted();
    void theFolderIsTheUsersAlone_data();
    void theFolderIsTheUsersAlone();
};

void TestEntryStore::aFullFolderLosesTheLeastRecentlyUsed_data()
{
    // Entries of 1,000 bytes modified so many days ago, the last one just written; the days ago
    // their summaries were used (-1: none kept); the limit; which entries are left.
    QTest::addColumn<QList<int>>("modified");
    QTest::addColumn<QList<int>>("summaryUsed");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QList<bool>>("left");
    const QList<int> none = {-1, -1, -1, -1, -1, -1};
    QTest::newRow("the least recently modified go first, down to 90 % of the limit")
        << QList<int>{5, 4, 3, 2, 1, 0} << none << 5 * kEntrySize
        << QList<bool>{false, false, true, true, true, true};
    QTest::newRow("the order is the use's, not the names'")
        << QList<int>{1, 3, 0, 5, 2, 4} << none << 5 * kEntrySize
        << QList<bool>{true, true, true, false, true, false};
    QTest::newRow("a summary used after its file keeps an old entry")
        << QList<int>{5, 4, 3, 2, 1, 0} << QList<int>{0, -1, -1, -1, -1, -1} << 5 * kEntrySize
        << QList<bool>{true, false, false, true, true, true};
    QTest::newRow("a summary used before its file's time changes nothing")
        << QList<int>{5, 4, 3, 2, 1, 0} << QList<int>{-1, -1, 9, 9, -1, -1} << 5 * kEntrySize
        << QList<bool>{false, false, true, true, true, true};
    QTest::newRow("nothing goes while the entries fit")
        << QList<int>{5, 4, 3, 2, 1, 0} << none << 6 * kEntrySize
        << QList<bool>{true, true, true, true, true, true};
}

void TestEntryStore::aFullFolderLosesTheLeastRecentlyUsed()
{
    QFETCH(QList<int>, modified);
    QFETCH(QList<int>, summaryUsed);
    QFETCH(qint64, limit);
    QFETCH(QList<bool>, left);
    QTemporaryDir dir;
    EntryStore store(dir.filePath(QStringLiteral("cache")), limit);
    QVERIFY(store.usable());
    const qint64 now = qint64(std::time(nullptr));
    EntryStore::UseTimes useTimes;
    for (int i = 0; i < modified.size(); ++i) {
        const int id = i + 1;
        QVERIFY(writeFile(store.folder() + u'/' + entryName(id), kEntrySize,
                          now - modified.at(i) * kDay));
        if (summaryUsed.at(i) >= 0)
            useTimes[quint64(id)] = (now - summaryUsed.at(i) * kDay) * 1000000000;
    }
    store.added(quint64(modified.size()), kEntrySize, [&] { return useTimes; });
    for (int i = 0; i < modified.size(); ++i)
        QVERIFY2(QFile::exists(store.folder() + u'/' + entryName(i + 1)) == left.at(i),
                 qPrintable(QString::number(i)));
    QCOMPARE(store.totalBytes(), kEntrySize * left.count(true));
}

void TestEntryStore::onlyEntriesAreCounted_data()
{
    // A file (or link, or folder) in the folder beside an entry: how old it is, whether its bytes
    // count, whether counting leaves it there.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("hoursAgo");
    QTest::addColumn<bool>("counted");
    QTest::addColumn<bool>("left");
    QTest::newRow("another entry") << entryName(9) << "file" << 48 << true << true;
    QTest::newRow("a temporary file being written") << "tmp-a1B2c3"
                                                    << "file" << 0 << false << true;
    QTest::newRow("a temporary file a stopped program left an hour ago")
        << "tmp-a1B2c3"
        << "file" << 2 << false << false;
    QTest::newRow("the summaries file") << "summaries.qts"
                                        << "file" << 0 << false << true;
    QTest::newRow("a link named as an entry") << entryName(9) << "link" << 0 << false << true;
    QTest::newRow("a folder named as an entry") << entryName(9) << "folder" << 0 << false << true;
}

void TestEntryStore::onlyEntriesAreCounted()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(int, hoursAgo);
    QFETCH(bool, counted);
    QFETCH(bool, left);
    QTemporaryDir dir;
    EntryStore store(dir.filePath(QStringLiteral("cache")), qint64(1) << 30);
    QVERIFY(store.usable());
    const qint64 now = qint64(std::time(nullptr));
    QVERIFY(writeFile(store.folder() + u'/' + entryName(1), kEntrySize, now));
    const QString path = store.folder() + u'/' + name;
    if (kind == u"file") {
        QVERIFY(writeFile(path, 333, now - hoursAgo * 3600));
    } else if (kind == u"link") {
        QVERIFY(writeFile(dir.filePath(QStringLiteral("outside")), 333, now));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("outside")), path));
    } else {
        QVERIFY(QDir().mkdir(path));
    }
    QCOMPARE(store.totalBytes(), kEntrySize + (counted ? 333 : 0));
    QCOMPARE(QFileInfo::exists(path), left);
}

void TestEntryStore::theFolderIsTheUsersAlone_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("usable");
    QTest::newRow("made with its parents") << "nothing" << true;
    QTest::newRow("there already, open to others") << "folder 0755" << true;
    QTest::newRow("a file in its place") << "file" << false;
}

// The folder holds the text of the user's documents: nobody else may enter it.
void TestEntryStore::theFolderIsTheUsersAlone()
{
    QFETCH(QString, before);
    QFETCH(bool, usable);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("home/.cache/quarlex"));
    if (before != u"nothing") {
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("home/.cache"))));
        if (before == u"file")
            QVERIFY(writeFile(folder, 1, std::time(nullptr)));
        else
            QVERIFY(QDir().mkdir(folder) && ::chmod(QFile::encodeName(folder), 0755) == 0);
    }
    EntryStore store(folder, qint64(1) << 30);
    QCOMPARE(store.usable(), usable);
    if (!usable)
        return;
    struct stat info;
    QVERIFY(::stat(QFile::encodeName(folder).constData(), &info) == 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0700));
}

QTEST_GUILESS_MAIN(TestEntryStore)
#include "tst_entry_store.moc"
