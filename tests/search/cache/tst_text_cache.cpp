#include "search/cache/cache_test_support.h"
#include "search/cache/text_cache.h"
#include "search/core/file_search.h"
#include "search/core/search_text.h"
#include "search/documents/document_fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

using namespace search;
using namespace cachetest;
using textcache::TextCache;

namespace {

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

// The search served from the cache answers as the search without it, for every document fixture,
// for files changed since, for members of archives and for damaged entries.
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

QTEST_GUILESS_MAIN(TestTextCache)
#include "tst_text_cache.moc"
