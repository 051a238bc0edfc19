#include "search/cache/cache_test_support.h"
#include "search/cache/text_cache.h"
#include "search/core/file_search.h"
#include "search/documents/document_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <ctime>
#include <utime.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

using namespace search;
using namespace cachetest;
using textcache::TextCache;

// The cache's folder across sessions and over its limit: the summaries file read by the next
// process, a folder that cannot be used, and the entries a full folder removes.
class TestTextCacheFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void summariesWrittenDownServeTheNextProcess_data();
    void summariesWrittenDownServeTheNextProcess();
    void anUnusableFolderOnlyCostsSpeed();
    void aFullCacheRemovesTheLeastRecentlyUsed();
    void anEntryAnsweredByItsSummaryCountsAsUsed();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_cacheFolder;
};

void TestTextCacheFolder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_cacheFolder = m_dir->filePath(QStringLiteral("cache/quarlex"));
}

void TestTextCacheFolder::summariesWrittenDownServeTheNextProcess_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("sound") << QString();
    QTest::newRow("cut short") << QStringLiteral("truncate");
    QTest::newRow("a byte of the index changed") << QStringLiteral("index");
    // Unchecked, a summary with no bit set would turn every keyword away.
    QTest::newRow("the summary cleared") << QStringLiteral("summary");
    QTest::newRow("another file in its place") << QStringLiteral("garbage");
}

// The summaries one cache wrote down answer in the next (as in a new process) before any entry is
// opened; a damaged summaries file is never believed, and the entries still answer right.
void TestTextCacheFolder::summariesWrittenDownServeTheNextProcess()
{
    QFETCH(QString, damage);
    const QString path = m_dir->filePath(QStringLiteral("doc.docx"));
    QVERIFY(copyFile(documentsDir() + QStringLiteral("/runs.docx"), path));
    const QString there = QStringLiteral("NeedleWord");
    const QString absent = QStringLiteral(u"没有的词语");
    {
        TextCache cache(m_cacheFolder);
        QVERIFY(searchWith(&cache, path, there).second.storedInCache);
        cache.saveSummaries();
    }
    QFile file(m_cacheFolder + QStringLiteral("/summaries.qts"));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    QVERIFY(bytes.size() > 64);
    if (damage == u"truncate") {
        bytes.chop(100);
    } else if (damage == u"index") {
        bytes[20] = char(bytes[20] ^ 1);
    } else if (damage == u"summary") {
        // The first summary's bitmap, where its index record places it: the record's offset,
        // key size and bitmap size (log2 of its bits) at 8, 32 and 37 bytes into it.
        const auto numberAt = [&](qsizetype at, int size) {
            qsizetype value = 0;
            for (int i = size - 1; i >= 0; --i)
                value = value << 8 | quint8(bytes.at(at + i));
            return value;
        };
        const qsizetype offset = numberAt(16 + 8, 8);
        const qsizetype keySize = numberAt(16 + 32, 4);
        const qsizetype size = qsizetype(1) << (quint8(bytes[16 + 37]) - 3);
        QVERIFY(offset + keySize + size + 8 <= bytes.size());
        std::fill(bytes.begin() + offset + keySize, bytes.begin() + offset + keySize + size, '\0');
    } else if (damage == u"garbage") {
        bytes.fill('Q');
    }
    QVERIFY(file.resize(0));
    QVERIFY(file.write(bytes) == bytes.size());
    file.close();

    TextCache next(m_cacheFolder);
    const auto key = textcache::FileKey::of(path);
    QVERIFY(key.has_value());
    const QByteArray version = documents::extractorVersion();
    // Nothing in memory before the first find reads the summaries file.
    QVERIFY(!next.findKept(absent, *key, version));
    // The keyword the text holds is never ruled out, whatever the file says.
    QVERIFY(
        sameAnswer(searchWith(&next, path, there).first, searchWith(nullptr, path, there).first));
    const auto [plain, plainStats] = searchWith(nullptr, path, absent);
    const auto [first, firstStats] = searchWith(&next, path, absent);
    QVERIFY(sameAnswer(first, plain));
    QVERIFY(firstStats.fromCache && firstStats.summaryAbsent);
    if (damage.isEmpty()) {
        const auto kept = next.findKept(absent, *key, version);
        QVERIFY(kept && kept->keywordAbsent);
        QVERIFY(!next.findKept(there, *key, version));
        // Answered from memory: the entry itself is not needed.
        for (const QString &name : entries(m_cacheFolder))
            QVERIFY(QFile::remove(m_cacheFolder + u'/' + name));
        const auto [again, stats] = searchWith(&next, path, QStringLiteral(u"另一个没有的词"));
        QVERIFY(stats.summaryAbsent && sameAnswer(again, plain));
    }
}

void TestTextCacheFolder::anUnusableFolderOnlyCostsSpeed()
{
    // A file where the folder should be.
    QFile blocker(m_dir->filePath(QStringLiteral("cache")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = m_dir->filePath(QStringLiteral("doc.docx"));
    QVERIFY(copyFile(documentsDir() + QStringLiteral("/runs.docx"), path));
    TextCache cache(m_cacheFolder);
    const QString keyword = QStringLiteral("NeedleWord");
    const auto [result, stats] = searchWith(&cache, path, keyword);
    QVERIFY(sameAnswer(result, searchWith(nullptr, path, keyword).first));
    QVERIFY(!stats.storedInCache);
    QVERIFY(!cache.usable());
}

void TestTextCacheFolder::aFullCacheRemovesTheLeastRecentlyUsed()
{
    TextCache probe(m_cacheFolder);
    const textcache::FileKey first{1, 1, 10, 1, 1};
    const QString text(20000, u'字');
    QVERIFY(probe.store(first, "v", {}, 0, text));
    const qint64 one = probe.totalBytes();
    QVERIFY(one > 0);

    // Room for a little more than two entries.
    TextCache cache(m_cacheFolder, one * 2 + one / 2);
    const textcache::FileKey second{1, 2, 10, 1, 1};
    const textcache::FileKey third{1, 3, 10, 1, 1};
    QVERIFY(cache.store(second, "v", {}, 0, text));
    // Used: the first entry becomes the most recently used, so the second is the oldest.
    QTest::qWait(20);
    QVERIFY(cache.find(first, "v").has_value());
    QVERIFY(cache.store(third, "v", {}, 0, text));
    QVERIFY(cache.find(first, "v").has_value());
    QVERIFY(!cache.find(second, "v").has_value());
    QVERIFY(cache.find(third, "v").has_value());
    QVERIFY(cache.totalBytes() <= one * 2 + one / 2);
    // Another version or another member of the same file is another entry.
    QVERIFY(!cache.find(first, "w").has_value());
    QVERIFY(!cache.find(first, "v", u"member.txt").has_value());
}

// An entry whose summary answers a search is used, though its text is not read: a full cache
// removes an entry used less recently instead, even one written later.
void TestTextCacheFolder::anEntryAnsweredByItsSummaryCountsAsUsed()
{
    const QString text(20000, u'字');
    const textcache::FileKey first{1, 1, 10, 1, 1};
    const textcache::FileKey second{1, 2, 10, 1, 1};
    const textcache::FileKey third{1, 3, 10, 1, 1};
    qint64 one = 0;
    {
        TextCache cache(m_cacheFolder);
        QVERIFY(cache.store(first, "v", {}, 0, text));
        one = cache.totalBytes();
        QVERIFY(cache.store(second, "v", {}, 0, text));
        cache.saveSummaries();
    }
    // Everything last used days ago, the first entry before the second: each entry's time (its
    // key's inode at byte 20), each summary's use time (at 24 in its index record of 40 bytes,
    // the index's checksum after it).
    const qint64 now = qint64(::time(nullptr));
    for (const QString &name : entries(m_cacheFolder)) {
        const QString entry = m_cacheFolder + u'/' + name;
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qint64 daysAgo = file.read(24).at(20) == 1 ? 3 : 2;
        const struct utimbuf times
        {
            now - daysAgo * 86400, now - daysAgo * 86400
        };
        QVERIFY(::utime(QFile::encodeName(entry).constData(), &times) == 0);
    }
    QFile summaries(m_cacheFolder + QStringLiteral("/summaries.qts"));
    QVERIFY(summaries.open(QIODevice::ReadWrite));
    QByteArray bytes = summaries.readAll();
    QVERIFY(bytes.size() > 16 + 2 * 40 + 8 && bytes.at(8) == 2);
    for (qsizetype at = 16 + 24; at < 16 + 2 * 40; at += 40)
        qToLittleEndian<quint64>(quint64(now - 4 * 86400), bytes.data() + at);
    qToLittleEndian<quint64>(quint64(XXH3_64bits(bytes.constData(), 16 + 2 * 40)),
                             bytes.data() + 16 + 2 * 40);
    QVERIFY(summaries.seek(0) && summaries.write(bytes) == bytes.size());
    summaries.close();

    // A new session: the first entry answered by its summary, then a third written into a cache
    // with room for two and a half.
    TextCache cache(m_cacheFolder, one * 2 + one / 2);
    const auto answered = cache.findFor(QStringLiteral(u"没有"), first, "v");
    QVERIFY(answered && answered->keywordAbsent);
    QVERIFY(cache.store(third, "v", {}, 0, text));
    QVERIFY(!cache.find(second, "v").has_value());
    QVERIFY(cache.find(first, "v").has_value());
    QVERIFY(cache.find(third, "v").has_value());
}

QTEST_GUILESS_MAIN(TestTextCacheFolder)
#include "tst_text_cache_folder.moc"
