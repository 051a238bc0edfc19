#include "platform/core/field_cutter.h"
#include "search/cache/text_cache.h"
#include "search/match/text_summary.h"
#include "search/core/file_search.h"
#include "search/documents/document_text.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <bit>

using namespace search;
using search::TextSummary;

namespace {

// The text as the matcher sees it: the fields cut as in every search, joined with nothing between.
QString searchTextOf(const QString &text)
{
    QString out;
    platform::FieldCutter<char16_t> cutter;
    platform::AppendToText sink{out};
    const auto *p = reinterpret_cast<const char16_t *>(text.constData());
    cutter.cutAll(p, p + text.size(), sink);
    return out;
}

// A text of `size` code units from a fixed seed: a few thousand CJK characters, ASCII letters and
// digits, characters outside the BMP, and the characters the field cut acts on.
QString randomText(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QString text;
    while (text.size() < size) {
        const quint32 pick = random.bounded(100u);
        if (pick < 80)
            text.append(QChar(char16_t(0x4E00 + random.bounded(3000u))));
        else if (pick < 88)
            text.append(QLatin1Char("abcXYZ0123456789"[random.bounded(16u)]));
        else if (pick < 91)
            text.append(QChar::fromUcs4(0x20000 + random.bounded(200u)));
        else
            text.append(QLatin1Char(",\"\r\n "[random.bounded(5u)]));
    }
    return text;
}

} // namespace

class TestTextSummary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noWordOfTheTextIsRuledOut_data();
    void noWordOfTheTextIsRuledOut();
    void aKeptTextAnswersAsTheSameTextInAFile_data();
    void aKeptTextAnswersAsTheSameTextInAFile();
};

void TestTextSummary::noWordOfTheTextIsRuledOut_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<int>("bitsLog2");
    // From the smallest bitmap to the largest, through the sizes folded in between.
    QTest::newRow("a line") << qsizetype(60) << TextSummary::kMinBitsLog2;
    QTest::newRow("a few pages") << qsizetype(6000) << 15;
    QTest::newRow("a long report") << qsizetype(40000) << 18;
    QTest::newRow("a book") << qsizetype(600000) << TextSummary::kMaxBitsLog2;
}

// Every piece of the search text passes, whatever the bitmap's size; pieces that do not occur are
// turned away mostly, as long as the bitmap is not at its largest.
void TestTextSummary::noWordOfTheTextIsRuledOut()
{
    QFETCH(qsizetype, size);
    QFETCH(int, bitsLog2);
    const QString text = randomText(size, quint32(size));
    const QString searchText = searchTextOf(text);
    const QByteArray bitmap = TextSummary::of(text);
    QCOMPARE(bitmap.size(), qsizetype(1) << (bitsLog2 - 3));
    qsizetype set = 0;
    for (const char byte : bitmap)
        set += std::popcount(quint8(byte));
    if (bitsLog2 < TextSummary::kMaxBitsLog2)
        QVERIFY(set * 4 <= bitmap.size() * 8);

    QRandomGenerator random(7);
    for (int i = 0; i < 2000; ++i) {
        const qsizetype length = 1 + random.bounded(6);
        const qsizetype at = random.bounded(qsizetype(0), searchText.size() - length + 1);
        const QStringView word = QStringView(searchText).sliced(at, length);
        QVERIFY2(TextSummary::mayHold(bitmap, word), qPrintable(word.toString()));
    }
    QVERIFY(TextSummary::mayHold(bitmap, QString()));

    // Words of three characters that all come from the text, in an order it does not have.
    int absent = 0;
    int turnedAway = 0;
    for (int i = 0; i < 2000; ++i) {
        QString word;
        for (int k = 0; k < 3; ++k)
            word.append(searchText.at(random.bounded(searchText.size())));
        if (searchText.contains(word))
            continue;
        ++absent;
        turnedAway += !TextSummary::mayHold(bitmap, word);
    }
    QVERIFY(absent > 1000);
    if (bitsLog2 < TextSummary::kMaxBitsLog2)
        QVERIFY2(turnedAway * 4 >= absent * 3,
                 qPrintable(QStringLiteral("%1 of %2").arg(turnedAway).arg(absent)));
}

void TestTextSummary::aKeptTextAnswersAsTheSameTextInAFile_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("ruledOut"); // the summary decides, without the text

    QTest::newRow("every character there, not together")
        << QStringLiteral(u"违反合约的金额") << QStringLiteral(u"违约金") << true;
    QTest::newRow("a character of none")
        << QStringLiteral(u"甲方乙方") << QStringLiteral(u"丙方") << true;
    QTest::newRow("across a comma that cuts the fields")
        << QStringLiteral(u"违约,金额") << QStringLiteral(u"违约金") << false;
    QTest::newRow("across a line end and the spaces before a field")
        << QStringLiteral(u"违约\r\n   金额") << QStringLiteral(u"约金") << false;
    QTest::newRow("a quoted comma is text")
        << QStringLiteral(u"\"违约,金\"") << QStringLiteral(u"约,金") << false;
    QTest::newRow("an unquoted comma is not")
        << QStringLiteral(u"违约,金") << QStringLiteral(u"约,金") << true;
    QTest::newRow("ASCII letters and digits")
        << QStringLiteral(u"Invoice No.2023-0042 合同") << QStringLiteral("No.2023-0042") << false;
    QTest::newRow("ASCII in another case")
        << QStringLiteral(u"Invoice No.2023-0042 合同") << QStringLiteral("invoice") << true;
    QTest::newRow("digits in another order")
        << QStringLiteral(u"2023年") << QStringLiteral("2032") << true;
    QTest::newRow("outside the BMP")
        << QStringLiteral(u"𠀀𠀂字") << QStringLiteral(u"𠀂字") << false;
    QTest::newRow("outside the BMP, the same first surrogate")
        << QStringLiteral(u"𠀀字") << QStringLiteral(u"𠀁") << true;
    QTest::newRow("the empty keyword") << QStringLiteral(u"甲方") << QString() << false;
    QTest::newRow("the empty keyword, an empty text") << QString() << QString() << false;
}

// A text kept in the cache, searched from it, answers as the same text in a UTF-16 file; the rows
// the summary rules out are answered without reading the text.
void TestTextSummary::aKeptTextAnswersAsTheSameTextInAFile()
{
    QFETCH(QString, text);
    QFETCH(QString, keyword);
    QFETCH(bool, ruledOut);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("text.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("\xFF\xFE", 2) == 2);
    const auto bytes =
        QByteArrayView(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QVERIFY(file.write(bytes.data(), bytes.size()) == bytes.size());
    file.close();
    const FileSearchResult plain = FileSearch().search(path, keyword);

    textcache::TextCache cache(dir.filePath(QStringLiteral("cache")));
    const textcache::FileKey key{1, 2, 3, 4, 5};
    QVERIFY(cache.store(key, documents::extractorVersion(), {}, quint8(documents::Outcome::Done),
                        text));
    FileSearchOptions options;
    options.textCache = &cache;
    FileSearch search(options);
    platform::WorkMonitor monitor;
    const std::optional<FileSearchResult> cached =
        search.searchCached(key, *search::Keyword::compile(keyword), monitor);
    QVERIFY(cached.has_value());
    QCOMPARE(cached->outcome, plain.outcome);
    QCOMPARE(cached->excerpt, plain.excerpt);
    QCOMPARE(search.stats().summaryAbsent, ruledOut);
}

QTEST_GUILESS_MAIN(TestTextSummary)
#include "tst_text_summary.moc"
