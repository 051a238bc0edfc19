#include "documents/document_fixtures.h"
#include "search/cache/text_cache.h"
#include "search/core/file_search.h"
#include "search/core/search_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

using namespace search;
using textcache::TextCache;

namespace {

QString documentsDir()
{
    return QStringLiteral(QUARLEX_DOCUMENTS_DIR);
}

bool copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to) && QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
}

// One search with the given cache (or none).
std::pair<FileSearchResult, FileSearchStats> searchWith(TextCache *cache, const QString &path,
                                                        const QString &keyword)
{
    FileSearchOptions options;
    options.textCache = cache;
    FileSearch search(options);
    const FileSearchResult result = search.search(path, keyword);
    return {result, search.stats()};
}

bool sameAnswer(const FileSearchResult &a, const FileSearchResult &b)
{
    return a.outcome == b.outcome && a.excerpt == b.excerpt && a.status == b.status;
}

// The entry files of a cache folder.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.qtc")}, QDir::Files);
}

// A ZIP archive of `members` (name, the document fixture it holds).
bool writeArchive(const QString &path, const QList<QPair<QByteArray, QString>> &members)
{
    QList<QPair<QByteArray, QByteArray>> entries;
    for (const auto &[name, fixture] : members) {
        QFile file(documentsDir() + u'/' + fixture);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        entries.append({name, file.readAll()});
    }
    fixtures::writeZip(path, entries);
    return QFile::exists(path);
}

// The members of an archive's result as text: path, hit, excerpt and status of each.
QStringList membersOf(const FileSearchResult &result)
{
    QStringList out;
    for (const MemberOutcome &member : result.members)
        out.append(member.path + u' ' + QString::number(member.hit) + u' ' + member.excerpt + u' ' +
                   QString::number(int(member.status)));
    return out;
}

} // namespace

class TestTextCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void answersLikeASearchWithoutIt_data();
    void answersLikeASearchWithoutIt();
    void changedFilesAreExtractedAgain_data();
    void changedFilesAreExtractedAgain();
    void damagedEntriesAreNeverSearched_data();
    void damagedEntriesAreNeverSearched();
    void documentsInArchivesAreKeptByTheirPlace_data();
    void documentsInArchivesAreKeptByTheirPlace();
    void summariesWrittenDownServeTheNextProcess_data();
    void summariesWrittenDownServeTheNextProcess();
    void anUnusableFolderOnlyCostsSpeed();
    void aFullCacheRemovesTheLeastRecentlyUsed();
    void anEntryAnsweredByItsSummaryCountsAsUsed();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_cacheFolder;
};

void TestTextCache::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_cacheFolder = m_dir->filePath(QStringLiteral("cache/quarlex"));
}

void TestTextCache::answersLikeASearchWithoutIt_data()
{
    QTest::addColumn<QString>("name");
    const QStringList documents =
        QDir(documentsDir()).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : documents) {
        if (!name.contains(QStringLiteral(".export.")))
            QTest::newRow(qPrintable(name)) << name;
    }
}

// Every document fixture, with keywords that are there, that are not, and the empty one: the
// search that fills the cache, and the one served from it, answer as a search without a cache.
void TestTextCache::answersLikeASearchWithoutIt()
{
    QFETCH(QString, name);
    const QString path = m_dir->filePath(name);
    QVERIFY(copyFile(documentsDir() + u'/' + name, path));
    if (documents::recognise(path, documents::Source(path).head(16)) ==
        documents::Kind::NotDocument)
        QSKIP("not a document");
    // Words of the fixtures' texts, a word of none, the empty keyword.
    const QStringList keywords = {QStringLiteral(u"关键字"),
                                  QStringLiteral(u"第二项"),
                                  QStringLiteral("NeedleWord"),
                                  QStringLiteral(u"没有的词语"),
                                  QString(),
                                  QStringLiteral("1")};
    QList<FileSearchResult> plain;
    for (const QString &keyword : keywords)
        plain.append(searchWith(nullptr, path, keyword).first);
    // The cache filled by a search that finds its keyword early, and by one that cannot be
    // screened by bytes (an ASCII keyword): both read the whole text and keep it.
    for (const int first : {0, 2}) {
        TextCache cache(m_cacheFolder + u'-' + QString::number(first));
        const auto [cold, coldStats] = searchWith(&cache, path, keywords.at(first));
        QVERIFY(sameAnswer(cold, plain.at(first)));
        QVERIFY(!coldStats.fromCache);
        if (first == 2)
            QVERIFY(coldStats.storedInCache);
        for (int k = 0; k < keywords.size(); ++k) {
            const auto [warm, warmStats] = searchWith(&cache, path, keywords.at(k));
            QVERIFY2(sameAnswer(warm, plain.at(k)), qPrintable(keywords.at(k)));
            // Screened-out documents are never extracted, so never kept.
            if (coldStats.storedInCache)
                QVERIFY2(warmStats.fromCache, qPrintable(keywords.at(k)));
        }
    }
}

void TestTextCache::changedFilesAreExtractedAgain_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("rewritten, same size, new time") << QStringLiteral("rewrite");
    QTest::newRow("another file renamed over it") << QStringLiteral("rename");
    QTest::newRow("new content, time set back") << QStringLiteral("touch-back");
}

// A Word file with the keyword is replaced by one without it (or the other way round): the cache
// never answers with the old text.
void TestTextCache::changedFilesAreExtractedAgain()
{
    QFETCH(QString, change);
    const QString path = m_dir->filePath(QStringLiteral("doc.docx"));
    const QString withWord = documentsDir() + QStringLiteral("/runs.docx");
    const QString other = documentsDir() + QStringLiteral("/table.docx");
    QVERIFY(copyFile(withWord, path));
    const QString keyword = QStringLiteral("NeedleWord");
    const FileSearchResult before = searchWith(nullptr, path, keyword).first;
    TextCache cache(m_cacheFolder);
    QVERIFY(searchWith(&cache, path, keyword).second.storedInCache);
    QVERIFY(searchWith(&cache, path, keyword).second.fromCache);

    struct stat old;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &old) == 0);
    if (change == u"rewrite") {
        // The same bytes again, then a byte changed: size and inode stay, the time moves.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll();
        QVERIFY(file.seek(0));
        QVERIFY(file.write(bytes) == bytes.size());
    } else if (change == u"rename") {
        const QString next = m_dir->filePath(QStringLiteral("next.docx"));
        QVERIFY(copyFile(other, next));
        QVERIFY(::rename(QFile::encodeName(next).constData(),
                         QFile::encodeName(path).constData()) == 0);
    } else {
        QVERIFY(copyFile(other, path));
        struct utimbuf times
        {
            old.st_atime, old.st_mtime
        };
        QVERIFY(::utime(QFile::encodeName(path).constData(), &times) == 0);
    }
    const auto [after, stats] = searchWith(&cache, path, keyword);
    QVERIFY(!stats.fromCache);
    QVERIFY(sameAnswer(after, searchWith(nullptr, path, keyword).first));
    if (change != u"rewrite")
        QVERIFY(!sameAnswer(after, before)); // the row does change the answer
}

void TestTextCache::documentsInArchivesAreKeptByTheirPlace_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("a word of the first member only") << QStringLiteral("NeedleWord");
    QTest::newRow("a word of no member") << QStringLiteral(u"没有的词语");
    QTest::newRow("the empty keyword") << QString();
}

// Two Word members of one archive: the text of each is kept under the archive's key and its own
// place, so that the search served from the cache answers member by member as one without it, and
// an archive replaced by another is searched afresh.
void TestTextCache::documentsInArchivesAreKeptByTheirPlace()
{
    QFETCH(QString, keyword);
    const QString path = m_dir->filePath(QStringLiteral("mail.zip"));
    const QList<QPair<QByteArray, QString>> members = {
        {"a.docx", QStringLiteral("runs.docx")}, {"sub/b.docx", QStringLiteral("table.docx")}};
    QVERIFY(writeArchive(path, members));
    const QStringList plain = membersOf(searchWith(nullptr, path, keyword).first);
    TextCache cache(m_cacheFolder);
    // Filled with an ASCII keyword, which no member can be screened out for.
    const auto [cold, coldStats] = searchWith(&cache, path, QStringLiteral("NeedleWord"));
    QCOMPARE(cold.outcome, FileSearchResult::Outcome::Archive);
    QVERIFY(coldStats.storedInCache);
    QCOMPARE(entries(m_cacheFolder).size(), 2);
    const auto [warm, warmStats] = searchWith(&cache, path, keyword);
    QVERIFY(warmStats.fromCache);
    QCOMPARE(membersOf(warm), plain);

    // The same names, the documents swapped.
    const QString next = m_dir->filePath(QStringLiteral("next.zip"));
    QVERIFY(writeArchive(next,
                         {{"a.docx", members.at(1).second}, {"sub/b.docx", members.at(0).second}}));
    QVERIFY(::rename(QFile::encodeName(next).constData(), QFile::encodeName(path).constData()) ==
            0);
    const auto [after, afterStats] = searchWith(&cache, path, keyword);
    QVERIFY(!afterStats.fromCache);
    QCOMPARE(membersOf(after), membersOf(searchWith(nullptr, path, keyword).first));
}

void TestTextCache::damagedEntriesAreNeverSearched_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("cut short") << QStringLiteral("truncate");
    QTest::newRow("a byte of the text changed") << QStringLiteral("flip");
    QTest::newRow("empty") << QStringLiteral("empty");
    // Unchecked, a summary with no bit set would turn every keyword away.
    QTest::newRow("the summary cleared") << QStringLiteral("summary");
}

void TestTextCache::damagedEntriesAreNeverSearched()
{
    QFETCH(QString, damage);
    const QString path = m_dir->filePath(QStringLiteral("doc.docx"));
    QVERIFY(copyFile(documentsDir() + QStringLiteral("/runs.docx"), path));
    const QString keyword = QStringLiteral("NeedleWord");
    TextCache cache(m_cacheFolder);
    QVERIFY(searchWith(&cache, path, keyword).second.storedInCache);
    const QStringList stored = entries(m_cacheFolder);
    QCOMPARE(stored.size(), 1);
    QFile entry(m_cacheFolder + u'/' + stored.first());
    QVERIFY(entry.open(QIODevice::ReadWrite));
    QByteArray bytes = entry.readAll();
    if (damage == u"truncate") {
        bytes.chop(5);
    } else if (damage == u"flip") {
        bytes[bytes.size() - 8] = char(bytes[bytes.size() - 8] ^ 0x20);
    } else if (damage == u"summary") {
        // After the magic, the key's size and key, the outcome, the length and the summary's size.
        const qsizetype keySize = qFromLittleEndian<quint32>(bytes.constData() + 8);
        const qsizetype at = 12 + keySize + 1 + 8;
        const qsizetype size = qsizetype(1) << (quint8(bytes[at]) - 3);
        QVERIFY(at + 1 + size < bytes.size());
        std::fill(bytes.begin() + at + 1, bytes.begin() + at + 1 + size, '\0');
    } else {
        bytes.clear();
    }
    QVERIFY(entry.resize(0));
    QVERIFY(entry.write(bytes) == bytes.size());
    entry.close();

    const auto [result, stats] = searchWith(&cache, path, keyword);
    QVERIFY(!stats.fromCache);
    QVERIFY(sameAnswer(result, searchWith(nullptr, path, keyword).first));
    // Written anew, and served from the next time.
    QVERIFY(stats.storedInCache);
    QVERIFY(searchWith(&cache, path, keyword).second.fromCache);
}

void TestTextCache::summariesWrittenDownServeTheNextProcess_data()
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
void TestTextCache::summariesWrittenDownServeTheNextProcess()
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

void TestTextCache::anUnusableFolderOnlyCostsSpeed()
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

void TestTextCache::aFullCacheRemovesTheLeastRecentlyUsed()
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
void TestTextCache::anEntryAnsweredByItsSummaryCountsAsUsed()
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

QTEST_GUILESS_MAIN(TestTextCache)
#include "tst_text_cache.moc"
