#include "search/core/file_search.h"
#include "search/core/report.h"
#include "search/core/search_text.h"

#include "search/documents/document_fixtures.h"
#include "support/read_status.h"
#include "support/test_files.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace search;
using Outcome = FileSearchResult::Outcome;

namespace {

// What the search must answer for a file: FindA and the excerpt of HitEntry over ReadSearchText.
FileSearchResult expectedFor(const QString &path, const QString &keyword)
{
    FileSearchResult expected;
    const SearchTextResult file = ReadSearchText(path);
    // A damaged document is searched up to the damage: a hit there is a hit.
    if (!file.ok() && !(file.status == ReadStatus::Damaged && FindA(keyword, file.text))) {
        expected.outcome = Outcome::Unreadable;
        expected.status = file.status;
    } else if (FindA(keyword, file.text)) {
        expected.outcome = Outcome::Hit;
        expected.excerpt = excerptAt(file.text, FirstPosition(keyword, file.text));
    }
    return expected;
}

QString describe(const FileSearchResult &result)
{
    switch (result.outcome) {
    case Outcome::Hit:
        return QStringLiteral("hit [%1]").arg(result.excerpt);
    case Outcome::NoHit:
        return QStringLiteral("no hit");
    case Outcome::Unreadable:
        return QStringLiteral("unreadable %1").arg(int(result.status));
    case Outcome::Archive:
        return QStringLiteral("archive of %1 members").arg(result.members.size());
    case Outcome::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.left(400).toHex(' ')) +
           (bytes.size() > 400 ? QStringLiteral(" ... (%1 bytes)").arg(bytes.size()) : QString());
}

// Builds file contents that stress the field rules and the decoders: delimiters, quotes,
// spaces, GBK pairs (also pairs whose bytes match other pairs out of step), invalid bytes, UTF-8
// characters and broken sequences, NUL and byte 26, byte-order marks.
class Generator
{
public:
    explicit Generator(quint32 seed) : m_random(seed) {}

    int below(int n) { return int(m_random() % quint32(n)); }
    QByteArray pairBytes() { return pair(); }

    QByteArray file()
    {
        const int kind = below(11);
        const int length = pickLength();
        QByteArray bytes;
        switch (kind) {
        case 0: // UTF-8 with its mark
            bytes = "\xEF\xBB\xBF";
            [[fallthrough]];
        case 1:
        case 2: // UTF-8 text, now and then broken
            while (bytes.size() < length)
                bytes += utf8Token();
            break;
        case 3: { // UTF-16 with its mark, maybe an odd byte at the end
            const bool little = below(2) == 0;
            bytes = little ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
            QString text;
            while (text.size() < length / 2)
                text += QString::fromUtf8(utf8Token(false));
            QStringEncoder encoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
            bytes += encoder.encode(text);
            if (below(3) == 0)
                bytes += char(below(256));
            break;
        }
        case 4: // random bytes
            while (bytes.size() < length)
                bytes += char(below(256));
            break;
        case 5: { // a long line of GBK pairs or UTF-8 Chinese: nowhere to start decoding but its
                  // start
            const int size = 2000 + below(30000);
            const bool utf8 = below(3) == 0;
            while (bytes.size() < size)
                bytes += utf8 ? QStringLiteral(u"中文查找").toUtf8().mid(3 * below(4), 3) : pair();
            break;
        }
        default: // GBK text and ASCII
            while (bytes.size() < length)
                bytes += gbkToken();
            break;
        }
        return bytes;
    }

    // A keyword for a file whose search text is `text`: mostly a piece of the text itself, so
    // that hits are common and keywords straddle the places where delimiters were.
    QString keyword(const QString &text)
    {
        const int kind = below(20);
        if (kind == 0)
            return QString();
        if (kind <= 3) {
            // Characters made of the same few bytes as the text's GBK pairs.
            QStringDecoder decoder("GBK");
            QString keyword = decoder.decode(pair());
            if (below(2))
                keyword += QString(decoder.decode(pair()));
            return keyword;
        }
        if (kind <= 5 || text.isEmpty()) {
            QString keyword;
            const int n = 1 + below(4);
            for (int i = 0; i < n; ++i)
                keyword += QString::fromUtf8(utf8Token(false)).left(1);
            return keyword;
        }
        // Now and then from the end, so that the first occurrence lies deep in the file.
        const qsizetype start =
            kind == 9 ? text.size() - 1 - below(int(std::min<qsizetype>(text.size(), 40)))
                      : below(int(text.size()));
        QString keyword = text.mid(start, 1 + below(kind == 6 ? 40 : 8));
        if (kind == 7 && !keyword.isEmpty())
            keyword[below(int(keyword.size()))] = QChar(u'\uFFFD');
        if (kind == 8)
            keyword += QChar(u'\uFFFD');
        return keyword;
    }

private:
    int pickLength()
    {
        const int size = below(100);
        if (size < 70)
            return below(120);
        if (size < 95)
            return below(3000);
        return 60 * 1024 + below(20 * 1024); // around the UTF-8 sniffing window
    }

    // Lead and trail bytes from a small set, so that byte matches out of step are common.
    QByteArray pair()
    {
        static const uchar leads[] = {0x81, 0xB0, 0xCE, 0xD6, 0xC4};
        static const uchar trails[] = {0x40, 0x7E, 0x80, 0xB0, 0xC4, 0xCE, 0xD0, 0xD6, 0xFE};
        QByteArray bytes;
        bytes += char(leads[below(5)]);
        bytes += char(trails[below(9)]);
        return bytes;
    }

    QByteArray delimiterToken()
    {
        static const char *const tokens[] = {",", "\r\n", "\n", "\r", "\"", " ", "  ", "\t", ",\""};
        return tokens[below(9)];
    }

    QByteArray gbkToken()
    {
        const int kind = below(16);
        if (kind < 4)
            return delimiterToken();
        if (kind < 7) {
            static const char *const words[] = {"a", "b", "ab", "key", "k", "e", "y"};
            return words[below(7)];
        }
        if (kind < 12)
            return pair();
        switch (kind) {
        case 12:
            return QByteArray(1, char(0x81 + below(0x7E))); // a lead byte on its own
        case 13:
            return QByteArray(1, char(below(2) ? 0x80 : 0xFF));
        case 14:
            return QByteArray(1, below(2) ? '\0' : '\x1a');
        default:
            return gbk(QStringLiteral(u"中文查找"));
        }
    }

    QByteArray utf8Token(bool broken = true)
    {
        const int kind = below(16);
        if (kind < 4)
            return delimiterToken();
        if (kind < 7) {
            static const char *const words[] = {"a", "b", "ab", "key", "k", "e", "y"};
            return words[below(7)];
        }
        if (kind < 12) {
            static const char16_t *const chars[] = {u"中", u"文", u"é", u"😀", u"\uFEFF", u"查找"};
            return QString::fromUtf16(chars[below(6)]).toUtf8();
        }
        if (!broken)
            return "x";
        static const char *const bad[] = {"\xE4\xB8",     "\x80", "\xC0\xAF", "\xED\xA0\x80",
                                          "\xF0\x9F\x98", "\xFF", "\xE4"};
        return bad[below(7)];
    }

    std::mt19937 m_random;
};

} // namespace

class TestFileSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void answersLikeTheReference_data();
    void answersLikeTheReference();
    void encodingsAnswerLikeTheReference_data();
    void encodingsAnswerLikeTheReference();
    void smallFilesRuledOutByTheirBytes_data();
    void smallFilesRuledOutByTheirBytes();
    void byteMatchOutOfStepIsNotAHit();
    void hitInTheFirstChunkStopsReading();
    void keywordWithoutByteFormIsSearchedByDecoding();
    void noPlaceToStartDecodingFallsBackToDecodingEverything();
    void generatedInputsAnswerLikeTheReference();
    void deepHitsInLongLinesAnswerLikeTheReference();
    void skippedChunksAnswerLikeTheReference();
    void documentsAnswerLikeTheReference_data();
    void documentsAnswerLikeTheReference();
    void documentsScreenedByTheirBytes_data();
    void documentsScreenedByTheirBytes();
    void ofdPackagesScreenedByTheirBytes_data();
    void ofdPackagesScreenedByTheirBytes();
    void olderOfficeFormatsAnswerLikeTheirSuccessors_data();
    void olderOfficeFormatsAnswerLikeTheirSuccessors();
    void unreadableFiles_data();
    void unreadableFiles();
    void stopsWhenTold();

private:
    QString write(const QByteArray &bytes, const QString &name = QStringLiteral("f.txt"));
    // Searches the file and fails the test unless the answer is the reference's; gives the
    // search's answer and what it did.
    std::pair<FileSearchResult, FileSearchStats>
    compareWithReference(const QString &path, const QString &keyword,
                         const FileSearchOptions &options, const QByteArray &bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileSearch::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestFileSearch::write(const QByteArray &bytes, const QString &name)
{
    return writeTestFile(m_dir->path(), name, bytes);
}

std::pair<FileSearchResult, FileSearchStats>
TestFileSearch::compareWithReference(const QString &path, const QString &keyword,
                                     const FileSearchOptions &options, const QByteArray &bytes)
{
    const FileSearchResult expected = expectedFor(path, keyword);
    FileSearch search(options);
    const FileSearchResult actual = search.search(path, keyword);
    if (actual.outcome != expected.outcome || actual.excerpt != expected.excerpt ||
        actual.status != expected.status) {
        QTest::qFail(
            qPrintable(QStringLiteral("keyword [%1] (%2), chunk %3, history %4, bytes first %5\n"
                                      "   file %6\n   expected %7\n   actual   %8")
                           .arg(keyword, QString::fromLatin1(keyword.toUtf8().toHex(' ')))
                           .arg(options.chunkSize)
                           .arg(options.historySize)
                           .arg(options.bytesFirst)
                           .arg(hexOf(bytes), describe(expected), describe(actual))),
            __FILE__, __LINE__);
    }
    return {actual, search.stats()};
}

void TestFileSearch::answersLikeTheReference_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("keyword");

    QTest::newRow("a keyword split by CR LF in GBK")
        << gbk(QStringLiteral(u"今天批量查\r\n找文件")) << QStringLiteral(u"查找");
    QTest::newRow("a keyword split by a comma and leading spaces")
        << QByteArray("the bud,   get is here") << QStringLiteral("budget");
    QTest::newRow("a keyword inside quotes with a comma")
        << QByteArray("x,\"a,b\",c") << QStringLiteral("a,b");
    QTest::newRow("the quote of a quoted field is not part of the text")
        << QByteArray("x,\"a,b\",c") << QStringLiteral("x\"a");
    QTest::newRow("a lone lead byte at the end of a field is U+FFFD in the excerpt")
        << QByteArray("key\x81,next") << QStringLiteral("key");
    QTest::newRow("a keyword ending in U+FFFD matches a lone lead byte at the end of the file")
        << QByteArray("abc\xD6") << QStringLiteral(u"c\uFFFD");
    QTest::newRow("an empty keyword gives the first 30 characters")
        << gbk(QStringLiteral(u"一二三四五六七八九十,一二三四五六七八九十,一二三四五六七八九十,"))
        << QString();
    QTest::newRow("an empty keyword in an empty file is a hit with an empty excerpt")
        << QByteArray() << QString();
    QTest::newRow("a keyword far into the file shows 10 characters before it")
        << QByteArray(5000, 'x') + gbk(QStringLiteral(u"一二三四五六七八九十关键字")) +
               QByteArray(100, 'y')
        << QStringLiteral(u"关键字");
    QTest::newRow("UTF-8 text with a Chinese keyword")
        << QStringLiteral(u"第一行\r\n第二行，关键\r\n字在这里").toUtf8()
        << QStringLiteral(u"关键字");
    QTest::newRow("UTF-16 LE text")
        << QByteArray("\xFF\xFE", 2) +
               QByteArray(reinterpret_cast<const char *>(u"ab,\"c,d\"\r\nef"), 24)
        << QStringLiteral("bc,de");
    QTest::newRow("an odd byte at the end of UTF-16 is U+FFFD") << QByteArray("\xFF\xFE"
                                                                              "a\0b\0,\0\x41",
                                                                              9)
                                                                << QStringLiteral(u"b\uFFFD");
    QTest::newRow("an ASCII file with DEL and NUL, found before the encoding is known")
        << QByteArray("\x7f\x7f\0\x07\0", 5) << QStringView(u"\x7f\0\x07\0", 4).toString();
    QTest::newRow("an ASCII start and a keyword that has no GBK form")
        << QByteArray("abc\x7f") + gbk(QStringLiteral(u"中")) << QStringLiteral("c\x7f");
    QTest::newRow(
        "a field ending with the chunk right after a hit still ends (found by the fuzzer)")
        << QByteArray::fromBase64("77u/dcG/sgrVsukNCtVbCukNCukNCtWy6Q0K1VsK6Q0KW7u/yOkNCukNCu+7v8jp"
                                  "DQrVdHR0dHTnrKyzCgrVDbLVsukNCukNCg==")
        << QStringLiteral("tttt");
    QTest::newRow("a case difference is no hit")
        << QByteArray("Budget,budge,BUDGET") << QStringLiteral("budget");
    QTest::newRow("NUL and byte 26 are part of the text") << QByteArray("a\0b\x1a"
                                                                        "c",
                                                                        5)
                                                          << QStringLiteral("b\x1a"
                                                                            "c");
}

void TestFileSearch::answersLikeTheReference()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, keyword);
    const QString path = write(bytes);
    QCOMPARE_NE(expectedFor(path, keyword).outcome, Outcome::Unreadable);
    for (qsizetype chunk : {1, 2, 3, 5, 7, 16, 64, 256 * 1024}) {
        for (bool bytesFirst : {true, false}) {
            FileSearchOptions options;
            options.chunkSize = chunk;
            options.bytesFirst = bytesFirst;
            compareWithReference(path, keyword, options, bytes);
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void TestFileSearch::encodingsAnswerLikeTheReference_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("encoding");

    using platform::TextEncoding;
    // Traditional Chinese prose, long enough for Big5 to be told from GBK.
    QString traditional;
    for (int i = 0; traditional.size() < 1200; ++i)
        traditional += QStringLiteral(u"這個檔案是我們在台灣的朋友寫的，內容關於學校和醫院的歷史。"
                                      u"他們說這裡的資料很重要，")
                           .mid(i % 7);
    const QString hangul = QStringLiteral(u"第一章：韩国语\r\n한국어 자료,查找𠀀字和ᠮᠣᠩᠭᠣᠯ文字");
    QTest::newRow("a UTF-8 mark") << QByteArray("\xEF\xBB\xBF") +
                                         QStringLiteral(u"标记,之后的关键字").toUtf8()
                                  << QStringLiteral(u"之后的关键") << int(TextEncoding::Utf8);
    QTest::newRow("Big5 declared in an HTML file")
        << QByteArray("<html><head><meta charset=\"big5\"></head><body>") +
               encoded("Big5", QStringLiteral(u"檔案,關鍵字</body></html>"))
        << QStringLiteral(u"案關鍵") << int(TextEncoding::Big5);
    QTest::newRow("Shift-JIS declared by http-equiv: its trail bytes look like ASCII")
        << QByteArray("<html><meta http-equiv=\"Content-Type\" content=\"text/html; "
                      "charset=Shift_JIS\">") +
               encoded("Shift_JIS", QStringLiteral(u"表示,ソフト,\"検索\"機能</html>"))
        << QStringLiteral(u"ソフト検索") << int(TextEncoding::Declared);
    QTest::newRow("windows-1252 declared in an XML file")
        << QByteArray(
               "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<p>caf\xE9,cr\xE8me</p>")
        << QStringLiteral(u"cafécrème") << int(TextEncoding::Declared);
    QTest::newRow("ISO-2022-JP declared in an XML file: cut on its characters")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>\n<p>") +
               encoded("ISO-2022-JP", QStringLiteral(u"日本語の,\"文書\",検索</p>"))
        << QStringLiteral(u"文書検索") << int(TextEncoding::Declared);
    QTest::newRow("UTF-8 without a mark") << QStringLiteral(u"没有标记的\r\nUTF-8,文字").toUtf8()
                                          << QStringLiteral(u"的UTF") << int(TextEncoding::Utf8);
    const QString ascii = QStringLiteral(u"name,\"city, 城市\"\r\nQuarlex,批量查找 2024\r\n");
    QTest::newRow("UTF-16 LE without a mark")
        << QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(ascii))
        << QStringLiteral(u"市Quarlex") << int(TextEncoding::Utf16LE);
    QTest::newRow("UTF-16 BE without a mark")
        << QByteArray(QStringEncoder(QStringConverter::Utf16BE).encode(ascii))
        << QStringLiteral(u"批量查找") << int(TextEncoding::Utf16BE);
    QTest::newRow("Big5 of more than 1 KiB")
        << encoded("Big5", traditional + QStringLiteral(u"\r\n最後的關鍵字"))
        << QStringLiteral(u"關鍵字") << int(TextEncoding::Big5);
    QTest::newRow("Big5 whose trail byte is a backslash or a letter")
        << encoded("Big5", traditional + QStringLiteral(u"許功蓋")) << QStringLiteral(u"功蓋")
        << int(TextEncoding::Big5);
    QTest::newRow("GB18030 four-byte characters: Hangul, CJK Extension B, Mongolian")
        << encoded("GB18030", hangul) << QStringLiteral(u"자료查找𠀀")
        << int(TextEncoding::Gb18030);
    QTest::newRow("a four-byte character split by a line end")
        << encoded("GB18030", QStringLiteral(u"한국\r\n어")) << QStringLiteral(u"국어")
        << int(TextEncoding::Gb18030);
    QTest::newRow("short GBK") << encoded("GBK", QStringLiteral(u"查找")) << QStringLiteral(u"找")
                               << int(TextEncoding::Gb18030);
    QByteArray longGbk;
    while (longGbk.size() < 300 * 1024)
        longGbk += encoded("GBK", QStringLiteral(u"今天的文件,内容很多\r\n"));
    longGbk += encoded("GBK", QStringLiteral(u"末尾的批量查找"));
    QTest::newRow("long GBK") << longGbk << QStringLiteral(u"批量查找")
                              << int(TextEncoding::Gb18030);
}

// Each rule of the encoding decides the file, and the search finds the keyword in its text with a
// readable excerpt, as the reference reader does.
void TestFileSearch::encodingsAnswerLikeTheReference()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, keyword);
    QFETCH(int, encoding);
    const QString path = write(bytes);
    const FileSearchResult expected = expectedFor(path, keyword);
    QCOMPARE(expected.outcome, Outcome::Hit);
    QVERIFY2(expected.excerpt.contains(keyword), qPrintable(expected.excerpt));
    QVERIFY(!expected.excerpt.contains(QChar(QChar::ReplacementCharacter)));
    for (qsizetype chunk : {1, 3, 7, 64, 4096, 256 * 1024}) {
        for (bool bytesFirst : {true, false}) {
            FileSearchOptions options;
            options.chunkSize = chunk;
            options.bytesFirst = bytesFirst;
            options.historySize = chunk < 64 ? 0 : 64 * 1024;
            const FileSearchStats stats =
                compareWithReference(path, keyword, options, bytes).second;
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(int(stats.encoding), encoding);
        }
    }
}

void TestFileSearch::smallFilesRuledOutByTheirBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("ruledOut");
    const QString simplified = QStringLiteral(u"今天的文件,内容很多\r\n").repeated(40);
    const QString traditional = QStringLiteral(u"今天天氣很好，我們去公園散步。\r\n").repeated(40);
    QTest::newRow("GBK without the keyword")
        << gbk(simplified) << QStringLiteral(u"关键字") << true;
    QTest::newRow("GBK with the keyword across a line end")
        << gbk(simplified + QStringLiteral(u"关键\r\n字")) << QStringLiteral(u"关键字") << false;
    QTest::newRow("GBK with each character, not together")
        << gbk(simplified + QStringLiteral(u"关于,键盘,字")) << QStringLiteral(u"关键字") << false;
    QTest::newRow("Big5 with the keyword")
        << encoded("Big5", traditional + QStringLiteral(u"關鍵字")) << QStringLiteral(u"關鍵字")
        << false;
    QTest::newRow("Big5, a keyword with characters Big5 cannot make")
        << encoded("Big5", traditional) << QStringLiteral(u"关键字") << true;
    QTest::newRow("UTF-8 with the keyword") << (simplified + QStringLiteral(u"末尾关键字")).toUtf8()
                                            << QStringLiteral(u"关键字") << false;
    QTest::newRow("an ASCII keyword") << gbk(simplified) << QStringLiteral("abc") << false;
}

// A file held whole after its first read whose bytes lack the keyword in every encoding the rule
// may decide is answered without deciding one; one that may hold it is searched, and every answer
// is the reference's.
void TestFileSearch::smallFilesRuledOutByTheirBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, keyword);
    QFETCH(bool, ruledOut);
    const QString path = write(bytes);
    FileSearch search;
    const FileSearchResult result = search.search(path, keyword);
    const FileSearchResult expected = expectedFor(path, keyword);
    QCOMPARE(describe(result), describe(expected));
    QCOMPARE(search.stats().ruledOutByBytes, ruledOut);
}

void TestFileSearch::byteMatchOutOfStepIsNotAHit()
{
    // 佒 is 81 D6 and 蠤 is D0 40: the bytes of 中 (D6 D0) lie across the two characters.
    const QByteArray bytes = QByteArray("\x81\xD6\xD0\x40", 4);
    const QString path = write(bytes);
    FileSearch search;
    const FileSearchResult result = search.search(path, QStringLiteral(u"中"));
    QCOMPARE(result.outcome, expectedFor(path, QStringLiteral(u"中")).outcome);
    QCOMPARE(result.outcome, Outcome::NoHit);
    QVERIFY(search.stats().bytesSearched);
    QCOMPARE(search.stats().candidatesChecked, 1);
}

void TestFileSearch::hitInTheFirstChunkStopsReading()
{
    QByteArray bytes = gbk(QStringLiteral(u"开头有关键字，"));
    bytes += QByteArray(4 * 1024 * 1024, 'z');
    const QString path = write(bytes);
    FileSearchOptions options;
    options.chunkSize = 64 * 1024;
    FileSearch search(options);
    const FileSearchResult result = search.search(path, QStringLiteral(u"关键字"));
    QCOMPARE(result.outcome, Outcome::Hit);
    QCOMPARE(result.excerpt, expectedFor(path, QStringLiteral(u"关键字")).excerpt);
    // The first chunk and the window read to tell GBK from UTF-8, not the rest.
    QVERIFY(search.stats().bytesRead <= options.chunkSize + 64 * 1024);
}

void TestFileSearch::keywordWithoutByteFormIsSearchedByDecoding()
{
    const QByteArray bytes("abc\x81,def");
    const QString path = write(bytes);
    FileSearch search;
    const FileSearchResult result = search.search(path, QStringLiteral(u"c\uFFFDd"));
    QCOMPARE(result.outcome, Outcome::Hit);
    QCOMPARE(result.excerpt, QStringLiteral(u"abc\uFFFDdef"));
    QVERIFY(!search.stats().bytesSearched);
}

void TestFileSearch::noPlaceToStartDecodingFallsBackToDecodingEverything()
{
    // One long GBK field without a byte below 0x40: the only place to start decoding is the
    // start of the field, which has left the kept history when the keyword's bytes turn up.
    QByteArray bytes = gbk(QStringLiteral(u"甲"));
    while (bytes.size() < 200 * 1024)
        bytes += gbk(QStringLiteral(u"乙丙丁"));
    bytes += gbk(QStringLiteral(u"关键字"));
    const QString path = write(bytes);
    FileSearchOptions options;
    options.chunkSize = 4096;
    options.historySize = 1024;
    FileSearch search(options);
    const FileSearchResult result = search.search(path, QStringLiteral(u"关键字"));
    QVERIFY(search.stats().restarted);
    QCOMPARE(result.outcome, Outcome::Hit);
    QCOMPARE(result.excerpt, expectedFor(path, QStringLiteral(u"关键字")).excerpt);
}

void TestFileSearch::generatedInputsAnswerLikeTheReference()
{
    Generator generate(0x51A2C3);
    int hits = 0;
    int restarts = 0;
    int bytesSearched = 0;
    int rejected = 0;
    for (int round = 0; round < 4000; ++round) {
        const QByteArray bytes = generate.file();
        const QString path = write(bytes);
        const SearchTextResult text = ReadSearchText(path);
        QVERIFY(text.ok());
        const QString keyword = generate.keyword(text.text);
        FileSearchOptions options;
        const int small = generate.below(4);
        options.chunkSize = bytes.size() > 4096 ? 256 + generate.below(8000)
                                                : (small == 0 ? 1 : 1 + generate.below(64));
        options.historySize = generate.below(2) ? 0 : (generate.below(2) ? 2048 : 64 * 1024);
        options.bytesFirst = generate.below(8) != 0;
        const auto [result, stats] = compareWithReference(path, keyword, options, bytes);
        if (QTest::currentTestFailed())
            return;
        hits += result.outcome == Outcome::Hit;
        restarts += stats.restarted;
        bytesSearched += stats.bytesSearched;
        rejected += stats.candidatesChecked > (result.outcome == Outcome::Hit ? 1 : 0);
    }
    // The inputs reach every way through the search, or the comparison proves little.
    qInfo("%d hits, %d searched by bytes, %d with byte matches out of step, %d restarts", hits,
          bytesSearched, rejected, restarts);
    QVERIFY(hits > 1000);
    QVERIFY(bytesSearched > 1000);
    QVERIFY(rejected > 30);
}

void TestFileSearch::deepHitsInLongLinesAnswerLikeTheReference()
{
    // Long lines with few or no places to start decoding, and the keyword near their end: the
    // search decodes from a byte below 0x40, a field start, or starts again from the beginning.
    Generator generate(0x7E57);
    int restarts = 0;
    int decodedNearMatch = 0;
    for (int round = 0; round < 150; ++round) {
        // Longer than the first read, which takes in the 64 KiB that decide the encoding.
        QByteArray bytes;
        const int size = 70 * 1024 + generate.below(40000);
        const bool utf8 = generate.below(4) == 0;
        const int sparse = generate.below(3); // how often a delimiter or an ASCII byte comes
        while (bytes.size() < size) {
            if (sparse > 0 && generate.below(sparse == 1 ? 3000 : 200) == 0)
                bytes += generate.below(2) ? "\r\n" : "a";
            else if (utf8)
                bytes += QStringLiteral(u"中文查找关键字").toUtf8().mid(3 * generate.below(7), 3);
            else
                bytes += generate.pairBytes();
        }
        const QString path = write(bytes);
        const SearchTextResult text = ReadSearchText(path);
        QVERIFY(text.ok());
        const QString keyword = text.text.right(3 + generate.below(5)).left(3);
        FileSearchOptions options;
        options.chunkSize = 256 + generate.below(4096);
        options.historySize = generate.below(2) ? 0 : 4096;
        const FileSearchStats stats = compareWithReference(path, keyword, options, bytes).second;
        if (QTest::currentTestFailed())
            return;
        restarts += stats.restarted;
        decodedNearMatch += !stats.restarted && stats.candidatesChecked > 0;
    }
    qInfo("%d restarts, %d decoded near the match", restarts, decodedNearMatch);
    QVERIFY(restarts > 10);
    QVERIFY(decodedNearMatch > 10);
}

void TestFileSearch::skippedChunksAnswerLikeTheReference()
{
    // Files of many chunks, most without the keyword's rarest character, so that chunks are
    // joined only from near their end: the keyword split by long runs of delimiters and spaces,
    // lying across the edges of chunks, its characters scattered alone; quoted fields holding
    // delimiters (the keyword inside one too), quotes inside unquoted fields, long lines.
    Generator generate(0x5C1B);
    const QStringList keywords = {QStringLiteral(u"批量查找"), QStringLiteral(u"数据"),
                                  QStringLiteral("key"), QStringLiteral(u"a查")};
    const QStringList filler = {QStringLiteral(u"文件"), QStringLiteral(u"今天"),
                                QStringLiteral(u"内容"), QStringLiteral("text"),
                                QStringLiteral(u"批"),   QStringLiteral(u"找"),
                                QStringLiteral(u"数"),   QStringLiteral("ke")};
    const QList<QByteArray> delimiters = {",", "\r\n", "\n", "\r", "  ", ", ,", ",,,,"};
    int skipped = 0;
    int skippedQuoted = 0;
    int skippedLong = 0;
    int hits = 0;
    for (int round = 0; round < 160; ++round) {
        const QString keyword = keywords.at(generate.below(int(keywords.size())));
        const bool utf8 = generate.below(2) == 0;
        const auto encode = [&](const QString &text) { return utf8 ? text.toUtf8() : gbk(text); };
        const bool quotes = generate.below(3) == 0;
        const bool longLines = !quotes && generate.below(4) == 0; // a delimiter in ~20 KB
        const int size = 96 * 1024 + generate.below(128 * 1024);  // past the first read
        const int plant = generate.below(3) == 0 ? -1 : generate.below(size);
        QByteArray bytes;
        while (bytes.size() < size) {
            if (plant >= 0 && bytes.size() >= plant && bytes.size() < plant + 64) {
                // The keyword, each character parted from the next by a run of delimiters.
                for (const QChar c : keyword) {
                    bytes += encode(QString(c));
                    const int run = generate.below(3) == 0 ? generate.below(600) : 0;
                    for (int i = 0; i < run; ++i)
                        bytes += delimiters.at(generate.below(int(delimiters.size())));
                }
                bytes += ',';
                continue;
            }
            // Now and then a character of a keyword alone (the last four of the filler).
            bytes += encode(
                filler.at(generate.below(40) == 0 ? 4 + generate.below(4) : generate.below(4)));
            if (generate.below(longLines ? 4000 : 3) == 0)
                bytes += delimiters.at(generate.below(int(delimiters.size())));
            if (quotes && generate.below(10) == 0) {
                // A quoted field with a delimiter inside, or now and then a quote that is an
                // ordinary character of an unquoted field.
                bytes += generate.below(50) == 0
                             ? QByteArray("\"")
                             : ",  \"" + encode(filler.at(generate.below(8))) +
                                   delimiters.at(generate.below(int(delimiters.size()))) + "\",";
            }
        }
        const QString path = write(bytes);
        FileSearchOptions options;
        options.chunkSize = 1024 + generate.below(8192);
        options.historySize = generate.below(2) ? 0 : 4096;
        const auto [result, stats] = compareWithReference(path, keyword, options, bytes);
        if (QTest::currentTestFailed())
            return;
        hits += result.outcome == Outcome::Hit;
        skipped += stats.chunksSkipped > 0;
        skippedQuoted += quotes && stats.chunksSkipped > 0;
        skippedLong += longLines && stats.chunksSkipped > 0;
    }
    qInfo("%d hits, %d files with chunks joined only from near their end (%d quoted, %d long "
          "lines)",
          hits, skipped, skippedQuoted, skippedLong);
    QVERIFY(hits > 20);
    QVERIFY(skipped > 50);
    QVERIFY(skippedQuoted > 10);
    QVERIFY(skippedLong > 5);
}

// Every document fixture but pictures and scans, which text recognition reads (tst_ocr_documents).
void TestFileSearch::documentsAnswerLikeTheReference_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status"); // of the document's text: Ok, Encrypted, Damaged or NoText
    QTest::addColumn<QStringList>("words");

    using fixtures::Family;
    for (const fixtures::DocumentFixture &fixture :
         fixtures::documentFixtures({Family::Ooxml, Family::Odf, Family::Ole2, Family::Pdf,
                                     Family::Epub, Family::Rtf, Family::Ofd, Family::Chm}))
        QTest::addRow("%s", qPrintable(fixture.about))
            << fixtures::documentPath(fixture) << int(fixtures::readStatusOf(fixture.outcome))
            << fixture.words;
}

void TestFileSearch::documentsAnswerLikeTheReference()
{
    // Whatever the name: a document is recognised by its content.
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QStringList, words);
    const QByteArray bytes = readAll(path);
    const QString renamed = write(bytes, QStringLiteral("renamed.txt"));
    const SearchTextResult text = ReadSearchText(renamed);
    QCOMPARE(int(text.status), status);
    for (const QString &word : std::as_const(words))
        QVERIFY2(FindA(word, text.text), qPrintable(word));
    QStringList keywords = {QStringLiteral(u"批量查找"), QStringLiteral("NeedleWord"),
                            QStringLiteral(u"没有的词"), QString()};
    keywords += words;
    for (qsizetype at = 0; at + 4 < text.text.size(); at += 37)
        keywords.append(text.text.mid(at, 4)); // across lines, cells and pages too
    for (const QString &keyword : std::as_const(keywords)) {
        compareWithReference(renamed, keyword, FileSearchOptions(), bytes);
        if (QTest::currentTestFailed())
            return;
    }
    FileSearch search;
    search.search(renamed, QStringLiteral(u"批量查找"));
    QVERIFY(search.stats().document);
}

void TestFileSearch::documentsScreenedByTheirBytes_data()
{
    QTest::addColumn<QByteArray>("body"); // of a Word document written on the spot
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("screened"); // decided without parsing: no hit

    const QByteArray runs = "<w:p><w:r><w:t>批量</w:t></w:r><w:r><w:t>查找</w:t></w:r></w:p>";
    QTest::newRow("the keyword over two runs") << runs << QStringLiteral(u"批量查找") << false;
    QTest::newRow("one character in no part") << runs << QStringLiteral(u"批量查无") << true;
    QTest::newRow("characters written as references")
        << QByteArray("<w:p><w:r><w:t>&#x6279;&#37327;查找</w:t></w:r></w:p>")
        << QStringLiteral(u"批量查找") << false;
    QTest::newRow("an ASCII keyword is never screened")
        << runs << QStringLiteral("absent") << false;
    // Parts inflate 64 KiB at a time: the keyword's first character across that boundary.
    const QByteArray head = fixtures::wordDocument(QByteArray()).chopped(22);
    const QByteArray filler = "<w:p><w:r><w:t>" + QByteArray(65536 - 1 - head.size() - 15, 'x');
    QTest::newRow("a character across two blocks")
        << filler + "批量</w:t></w:r></w:p>" << QStringLiteral(u"x批量") << false;
}

void TestFileSearch::documentsScreenedByTheirBytes()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, keyword);
    QFETCH(bool, screened);
    const QString path = m_dir->filePath(QStringLiteral("screened.docx"));
    fixtures::writeZip(path, {{"[Content_Types].xml", fixtures::kWordContentTypes},
                              {"word/document.xml", fixtures::wordDocument(body)}});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto [result, stats] =
        compareWithReference(path, keyword, FileSearchOptions(), file.readAll());
    QVERIFY(stats.document);
    QCOMPARE(stats.screenedOut, screened);
    QCOMPARE(result.outcome == Outcome::Hit, !screened && keyword != QStringLiteral("absent"));
}

void TestFileSearch::ofdPackagesScreenedByTheirBytes_data()
{
    QTest::addColumn<QByteArray>("content"); // of the one page's layer
    QTest::addColumn<bool>("encrypted");     // the package has Encryptions.xml
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("screened");
    QTest::addColumn<int>("status");

    const QByteArray text = "<ofd:TextObject ID=\"3\"><ofd:TextCode>批量</ofd:TextCode>"
                            "<ofd:TextCode>查找</ofd:TextCode></ofd:TextObject>";
    const QByteArray image = "<ofd:ImageObject ID=\"4\" ResourceID=\"5\"/>";
    const int ok = int(ReadStatus::Ok);
    QTest::newRow("the keyword over two text codes")
        << text << false << QStringLiteral(u"批量查找") << false << ok;
    QTest::newRow("one character in no entry")
        << text << false << QStringLiteral(u"批量查无") << true << ok;
    QTest::newRow("a scan is read, and named")
        << image << false << QStringLiteral(u"批量查无") << false << int(ReadStatus::NoText);
    QTest::newRow("a page of text with a seal's picture is still screened")
        << image + text << false << QStringLiteral(u"批量查无") << true << ok;
    QTest::newRow("an encrypted package is read, and named")
        << text << true << QStringLiteral(u"批量查无") << false << int(ReadStatus::Encrypted);
}

void TestFileSearch::ofdPackagesScreenedByTheirBytes()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, encrypted);
    QFETCH(QString, keyword);
    QFETCH(bool, screened);
    QFETCH(int, status);
    const QByteArray ns = "xmlns:ofd=\"http://www.ofdspec.org/2016\"";
    QList<QPair<QByteArray, QByteArray>> entries{
        {"OFD.xml", "<ofd:OFD " + ns +
                        "><ofd:DocBody><ofd:DocRoot>Doc_0/Document.xml</ofd:DocRoot></ofd:DocBody>"
                        "</ofd:OFD>"},
        {"Doc_0/Document.xml",
         "<ofd:Document " + ns +
             "><ofd:Pages><ofd:Page ID=\"1\" BaseLoc=\"Pages/Page_0/Content.xml\"/></ofd:Pages>"
             "</ofd:Document>"},
        {"Doc_0/Pages/Page_0/Content.xml", "<ofd:Page " + ns +
                                               "><ofd:Content><ofd:Layer ID=\"2\">" + content +
                                               "</ofd:Layer></ofd:Content></ofd:Page>"}};
    if (encrypted)
        entries.append(qMakePair(QByteArray("Encryptions.xml"), QByteArray("<Encryptions/>")));
    const QString path = m_dir->filePath(QStringLiteral("screened.ofd"));
    fixtures::writeZip(path, entries);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto [result, stats] =
        compareWithReference(path, keyword, FileSearchOptions(), file.readAll());
    QVERIFY(stats.document);
    QCOMPARE(stats.screenedOut, screened);
    QCOMPARE(int(result.status), status);
}

void TestFileSearch::olderOfficeFormatsAnswerLikeTheirSuccessors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("successor"); // the same document saved in Office Open XML
    QTest::addColumn<QString>("keyword");

    const QString chinese = QStringLiteral(u"批量查找");
    QTest::newRow("a keyword over two formatting runs of a Word 97 file")
        << QStringLiteral("runs.doc") << QStringLiteral("runs.docx") << chinese;
    QTest::newRow("an ASCII keyword over two formatting runs of a Word 97 file")
        << QStringLiteral("runs.doc") << QStringLiteral("runs.docx")
        << QStringLiteral("NeedleWord");
    QTest::newRow("a keyword in a table cell of a Word 97 file")
        << QStringLiteral("table.doc") << QStringLiteral("table.docx") << chinese;
    QTest::newRow("a keyword in the header of a Word 97 file")
        << QStringLiteral("header.doc") << QStringLiteral("header.docx")
        << QStringLiteral("HeaderWord");
    QTest::newRow("a keyword in the second sheet of an Excel 97 file")
        << QStringLiteral("sheets.xls") << QStringLiteral("sheets.xlsx")
        << QStringLiteral("NeedleCell");
    QTest::newRow("a keyword over two paragraphs of a PowerPoint 97 slide")
        << QStringLiteral("slides.ppt") << QStringLiteral("slides.pptx") << chinese;
    QTest::newRow("a keyword in the notes of a PowerPoint 97 slide")
        << QStringLiteral("slides.ppt") << QStringLiteral("slides.pptx")
        << QStringLiteral("NotesWord");
}

// The same document in the older binary format and in Office Open XML: the search finds the
// keyword in both, with the same excerpt, which holds the keyword.
void TestFileSearch::olderOfficeFormatsAnswerLikeTheirSuccessors()
{
    QFETCH(QString, name);
    QFETCH(QString, successor);
    QFETCH(QString, keyword);
    FileSearch search;
    const FileSearchResult older = search.search(fixtures::documentPath(name), keyword);
    const FileSearchResult newer = search.search(fixtures::documentPath(successor), keyword);
    QCOMPARE(older.outcome, Outcome::Hit);
    QCOMPARE(newer.outcome, Outcome::Hit);
    QCOMPARE(older.excerpt, newer.excerpt);
    QVERIFY2(older.excerpt.contains(keyword), qPrintable(older.excerpt));
}

void TestFileSearch::unreadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("status");
    QTest::newRow("a missing file") << QStringLiteral("missing.txt") << int(ReadStatus::NotFound);
    QTest::newRow("a folder") << QString() << int(ReadStatus::IsDirectory);
}

void TestFileSearch::unreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(int, status);
    const QString path = name.isEmpty() ? m_dir->path() : m_dir->filePath(name);
    FileSearch search;
    const FileSearchResult result = search.search(path, QStringLiteral("x"));
    QCOMPARE(result.outcome, Outcome::Unreadable);
    QCOMPARE(int(result.status), status);
    QCOMPARE(result.status, expectedFor(path, QStringLiteral("x")).status);
}

void TestFileSearch::stopsWhenTold()
{
    const QString path = write(QByteArray(1024 * 1024, 'a') + "key");
    FileSearchOptions options;
    options.chunkSize = 4096;
    FileSearch search(options);
    int chunks = 0;
    const FileSearchResult result =
        search.search(path, QStringLiteral("key"), [&] { return ++chunks < 3; });
    QCOMPARE(result.outcome, Outcome::Stopped);
    QCOMPARE(chunks, 3);
}

QTEST_GUILESS_MAIN(TestFileSearch)
#include "tst_file_search.moc"
