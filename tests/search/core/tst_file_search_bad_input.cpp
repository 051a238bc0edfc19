#include "search/core/file_search.h"
#include "search/core/report.h"
#include "search/core/search_text.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace search;
using Outcome = FileSearchResult::Outcome;

namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kGiB = 1024 * kMiB;
// Whatever the file, the search holds no more than this in its buffers.
constexpr qsizetype kBufferBound = 4 * kMiB;

} // namespace

// Files that are not text, huge, or change while they are read: each search ends in a hit, no
// hit, or an unreadable file, and memory stays bounded. Large files are sparse: they take no
// room on disk, and their holes read as NUL bytes, which are ordinary characters.
class TestFileSearchBadInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void emptyFile();
    void sparseFileOf4GiBWithoutAHit();
    void sparseFileOf4GiBWithTheKeywordAtTheVeryEnd();
    void singleLineOf1GiBWithAGbkKeywordAtTheEnd();
    void binaryBytesAnswerLikeTheReference();
    void fileTruncatedWhileReadEndsNormally();
    void fileDeletedWhileReadIsReadToTheEnd();
    void readErrorIsReportedAsUnreadable();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileSearchBadInput::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFileSearchBadInput::emptyFile()
{
    QFile file(path(QStringLiteral("empty.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    FileSearch search;
    QCOMPARE(search.search(file.fileName(), QStringLiteral("x")).outcome, Outcome::NoHit);
    const FileSearchResult any = search.search(file.fileName(), QString());
    QCOMPARE(any.outcome, Outcome::Hit);
    QCOMPARE(any.excerpt, QString());
}

void TestFileSearchBadInput::sparseFileOf4GiBWithoutAHit()
{
    QFile file(path(QStringLiteral("sparse.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(4 * kGiB));
    file.close();
    FileSearch search;
    const FileSearchResult result = search.search(file.fileName(), QStringLiteral(u"关键字"));
    QCOMPARE(result.outcome, Outcome::NoHit);
    QCOMPARE(search.stats().bytesRead, 4 * kGiB);
    QVERIFY(search.stats().peakBufferBytes < kBufferBound);
}

void TestFileSearchBadInput::sparseFileOf4GiBWithTheKeywordAtTheVeryEnd()
{
    QFile file(path(QStringLiteral("sparse-end.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.seek(4 * kGiB - 3));
    QCOMPARE(file.write("key"), qint64(3));
    file.close();
    FileSearch search;
    const FileSearchResult result = search.search(file.fileName(), QStringLiteral("key"));
    QCOMPARE(result.outcome, Outcome::Hit);
    QCOMPARE(result.excerpt, QString(10, QChar(0)) + QStringLiteral("key"));
    QVERIFY(search.stats().peakBufferBytes < kBufferBound);
}

void TestFileSearchBadInput::singleLineOf1GiBWithAGbkKeywordAtTheEnd()
{
    // GBK text, then a gigabyte of NUL bytes without a delimiter, then the keyword.
    QFile file(path(QStringLiteral("line.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(gbk(QStringLiteral(u"一行很长的文字"))) > 0);
    QVERIFY(file.seek(kGiB));
    const QByteArray tail = gbk(QStringLiteral(u"这里有关键字"));
    QCOMPARE(file.write(tail), tail.size());
    file.close();
    FileSearch search;
    const FileSearchResult result = search.search(file.fileName(), QStringLiteral(u"关键字"));
    QCOMPARE(result.outcome, Outcome::Hit);
    QCOMPARE(result.excerpt, QString(7, QChar(0)) + QStringLiteral(u"这里有关键字"));
    QCOMPARE(search.stats().encoding, platform::TextEncoding::Gb18030);
    QVERIFY(search.stats().peakBufferBytes < kBufferBound);
}

void TestFileSearchBadInput::binaryBytesAnswerLikeTheReference()
{
    std::mt19937 random(26);
    QByteArray bytes;
    while (bytes.size() < 3 * kMiB) {
        // Mostly NUL, byte 26 and other control bytes, with runs of random bytes.
        const int kind = int(random() % 4);
        bytes += kind == 0   ? char(random() % 256)
                 : kind == 1 ? '\x1a'
                 : kind == 2 ? '\0'
                             : char(random() % 32);
    }
    bytes += "\x81"; // a lone lead byte at the very end
    const QString file = path(QStringLiteral("binary.bin"));
    QVERIFY(writeFile(file, bytes));
    const SearchTextResult reference = ReadSearchText(file);
    QVERIFY(reference.ok());
    FileSearch search;
    for (const QString &keyword : {reference.text.right(5), reference.text.mid(1000, 3),
                                   QStringLiteral(u"\uFFFD\x1a"), QStringLiteral(u"not in it")}) {
        const FileSearchResult result = search.search(file, keyword);
        const bool hit = FindA(keyword, reference.text);
        QCOMPARE(result.outcome, hit ? Outcome::Hit : Outcome::NoHit);
        if (hit)
            QCOMPARE(result.excerpt,
                     excerptAt(reference.text, FirstPosition(keyword, reference.text)));
        QVERIFY(search.stats().peakBufferBytes < kBufferBound);
    }
}

void TestFileSearchBadInput::fileTruncatedWhileReadEndsNormally()
{
    const QString file = path(QStringLiteral("shrinking.txt"));
    QVERIFY(writeFile(file, QByteArray(8 * kMiB, 'a') + "key"));
    FileSearchOptions options;
    options.chunkSize = 64 * 1024;
    FileSearch search(options);
    const FileSearchResult result =
        search.search(file, QStringLiteral("key"), [&] { return QFile::resize(file, 100); });
    // The keyword was cut off with the rest of the file: what was read holds no hit.
    QCOMPARE(result.outcome, Outcome::NoHit);
    QVERIFY(search.stats().bytesRead < 8 * kMiB);
}

void TestFileSearchBadInput::fileDeletedWhileReadIsReadToTheEnd()
{
    const QString file = path(QStringLiteral("vanishing.txt"));
    QVERIFY(writeFile(file, QByteArray(8 * kMiB, 'a') + "key"));
    FileSearchOptions options;
    options.chunkSize = 64 * 1024;
    FileSearch search(options);
    bool removed = false;
    const FileSearchResult result = search.search(file, QStringLiteral("key"), [&] {
        if (!removed)
            removed = QFile::remove(file);
        return true;
    });
    QVERIFY(removed);
    // The open file lives on until it is closed, so the search reads it to the end.
    QCOMPARE(result.outcome, Outcome::Hit);
    QCOMPARE(result.excerpt, QStringLiteral("aaaaaaaaaakey"));
}

void TestFileSearchBadInput::readErrorIsReportedAsUnreadable()
{
    // Reading the start of a process's own memory file fails with an I/O error.
    const QString memory = QStringLiteral("/proc/self/mem");
    QFile probe(memory);
    if (!probe.open(QIODevice::ReadOnly))
        QSKIP("No /proc/self/mem here to produce a read error.");
    char byte;
    if (probe.read(&byte, 1) >= 0)
        QSKIP("Reading /proc/self/mem does not fail here.");
    FileSearch search;
    const FileSearchResult result = search.search(memory, QStringLiteral("x"));
    QCOMPARE(result.outcome, Outcome::Unreadable);
    QCOMPARE(result.status, ReadStatus::ReadError);
    QCOMPARE(ReadSearchText(memory).status, ReadStatus::ReadError);
}

QTEST_GUILESS_MAIN(TestFileSearchBadInput)
#include "tst_file_search_bad_input.moc"
