#include "document_fixtures.h"

#include "search/documents/document_text.h"
#include "support/test_files.h"

#include <QTemporaryDir>
#include <QTest>

using documents::Kind;
using documents::Outcome;
using documents::Source;
using fixtures::document;

Q_DECLARE_METATYPE(documents::Kind)
Q_DECLARE_METATYPE(documents::Outcome)

namespace {

struct Extracted
{
    Outcome outcome;
    QString text;
    int pieces = 0;
};

Extracted extract(const Source &source)
{
    Extracted result{Outcome::Done, QString()};
    const Kind kind = documents::recognise(source, source.head(16));
    if (kind != Kind::Rtf)
        qFatal("not recognised as RTF");
    result.outcome = documents::extractText(source, kind, [&](QStringView piece) {
        result.text += piece;
        ++result.pieces;
        return true;
    });
    return result;
}

Extracted extract(const QByteArray &rtf)
{
    return extract(Source::fromBytes(rtf, QStringLiteral("test.rtf")));
}

// A document in code page 936 with a font of each East Asian charset: f0 GB2312, f1 ANSI, f2 Big5,
// f3 Shift-JIS, f4 Hangul.
QByteArray chineseDocument(const QByteArray &body)
{
    return "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 "
           "\\'cb\\'ce\\'cc\\'e5;}"
           "{\\f1\\fswiss\\fcharset0 Arial;}{\\f2\\fnil\\fcharset136 MingLiU;}"
           "{\\f3\\fnil\\fcharset128 MS Mincho;}{\\f4\\fnil\\fcharset129 Batang;}}\n"
           "\\pard\\plain " +
           body + "}";
}

} // namespace

class TestRtfText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recognisedByContent_data();
    void recognisedByContent();
    void text_data();
    void text();
    void textMatchesTheOfficeSuitesExport_data();
    void textMatchesTheOfficeSuitesExport();
    void binaryDataOfAnySizeIsPassedOver();
    void textComesInPiecesAndStopsWhenTheCallerHasItsAnswer();
};

void TestRtfText::recognisedByContent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Kind>("kind");

    QTest::newRow("a file that starts with {\\rtf1 is RTF")
        << QByteArray("{\\rtf1 a}") << Kind::Rtf;
    QTest::newRow("the version plays no part") << QByteArray("{\\rtf a}") << Kind::Rtf;
    QTest::newRow("a text file about RTF is no document")
        << QByteArray("see {\\rtf1 a}") << Kind::NotDocument;
    QTest::newRow("a cut signature is no document") << QByteArray("{\\rt") << Kind::NotDocument;
}

void TestRtfText::recognisedByContent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Kind, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("notes.txt"));
    QVERIFY(writeFile(path, bytes));
    QCOMPARE(documents::recognise(path, fixtures::head(path)), kind);
}

void TestRtfText::text_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Outcome>("outcome");
    const Outcome done = Outcome::Done;

    QTest::newRow("GBK bytes in a GB2312 font")
        << chineseDocument("\\f0 \\'b9\\'d8\\'bc\\'fc\\'d7\\'d6\\par ")
        << QStringLiteral(u"关键字\n") << done;
    QTest::newRow("bytes in an ANSI font read in the document's code page 936")
        << chineseDocument("\\f1 \\'b9\\'d8\\'bc\\'fc") << QStringLiteral(u"关键") << done;
    QTest::newRow("a four-byte GB18030 character in a GB2312 font")
        << chineseDocument("\\f0 \\'83\\'36\\'84\\'33") << QStringLiteral(u"한") << done;
    QTest::newRow("Big5 bytes in a Big5 font, a trail byte written as an escaped backslash")
        << chineseDocument("\\f2 \\'b3\\\\\\'a5\\'5c") << QStringLiteral(u"許功") << done;
    QTest::newRow("Shift-JIS bytes in a Shift-JIS font")
        << chineseDocument("\\f3 \\'93\\'fa\\'96\\'7b\\'8c\\'ea") << QStringLiteral(u"日本語")
        << done;
    QTest::newRow("Korean bytes in a Hangul font")
        << chineseDocument("\\f4 \\'c7\\'d1\\'b1\\'b9") << QStringLiteral(u"한국") << done;
    QTest::newRow("fonts of different charsets in one paragraph")
        << chineseDocument("\\f0 \\'b9\\'d8{\\f2 \\'b3\\'5c}{\\f3 \\'93\\'fa}\\'d7\\'d6")
        << QStringLiteral(u"关許日字") << done;
    QTest::newRow("a Windows-1252 document with upper-case hex")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Times;}}\\f0 caf\\'E9 d\\'92un}")
        << QStringLiteral(u"café d’un") << done;
    QTest::newRow("a Mac Roman document")
        << QByteArray("{\\rtf1\\mac\\deff0{\\fonttbl{\\f0\\fcharset77 Times;}}caf\\'8e}")
        << QStringLiteral(u"café") << done;
    QTest::newRow("a keyword split by a formatting group")
        << chineseDocument("{\\b \\'b9\\'d8}\\'bc\\'fc\\'d7\\'d6") << QStringLiteral(u"关键字")
        << done;
    QTest::newRow("a double-byte character split by a formatting group")
        << chineseDocument("{\\b \\'b9}\\'d8") << QStringLiteral(u"关") << done;
    QTest::newRow("a lead byte left alone before a line end takes no byte after it")
        << chineseDocument("\\'b9\\par x") << QStringLiteral("\nx") << done;
    QTest::newRow("\\uN with one fallback character, negative values above U+7FFF")
        << chineseDocument("\\uc1\\u20851?\\u-27346?") << QStringLiteral(u"关键") << done;
    QTest::newRow("\\uN without fallback")
        << chineseDocument("\\uc0\\u20851\\u38190 x") << QStringLiteral(u"关键x") << done;
    QTest::newRow("a two-byte fallback, the count kept by its group")
        << chineseDocument("{\\uc2\\u20851\\'b9\\'d8}\\u38190?") << QStringLiteral(u"关键") << done;
    QTest::newRow("a fallback ends at a group brace")
        << chineseDocument("\\uc3\\u20851{x}") << QStringLiteral(u"关x") << done;
    QTest::newRow("a character beyond U+FFFF as two \\uN")
        << chineseDocument("\\u-10179?\\u-8704?") << QStringLiteral(u"😀") << done;
    QTest::newRow("table cells separated by tabs, rows a line each, trailing empty cell dropped")
        << chineseDocument("\\trowd\\cellx1000\\cellx2000\\cellx3000\\intbl A1\\cell\\cell C1"
                           "\\cell\\row\\trowd\\cellx1000\\cellx2000\\cellx3000\\intbl A2\\cell "
                           "B2\\cell\\cell\\row after")
        << QStringLiteral("A1\t\tC1\nA2\tB2\nafter") << done;
    QTest::newRow("a nested table's rows end in its properties")
        << chineseDocument("\\intbl a\\cell\\itap2 n1\\nestcell n2\\nestcell{\\*\\nesttableprops"
                           "\\trowd\\cellx1\\nestrow}{\\nonesttables \\par}b\\cell\\row")
        << QStringLiteral("a\tn1\tn2\nb\n") << done;
    QTest::newRow("a text box's text is read once, from the shape")
        << chineseDocument("{\\shp{\\*\\shpinst\\shpleft0{\\sp{\\sn shapeType}{\\sv 202}}"
                           "{\\shptxt \\pard box\\par}}{\\shprslt{\\*\\do\\dobxpage"
                           "{\\dptxbxtext \\pard box\\par}}}}after")
        << QStringLiteral("box\nafter") << done;
    QTest::newRow("destinations that are not text are skipped")
        << chineseDocument(
               "{\\colortbl;\\red0\\green0\\blue0;}{\\stylesheet{\\s0 \\'b9\\'d8\\'bc\\'fc;}}"
               "{\\*\\generator \\'b9\\'d8\\'bc\\'fc;}{\\info{\\title \\'b9\\'d8\\'bc\\'fc}}"
               "{\\pict\\wmetafile8\\picw10 b9d8bcfcd7d6}{\\*\\shppict{\\pict b9d8bcfc}}"
               "{\\object\\objemb{\\*\\objclass Word.\\'b9\\'d8}{\\*\\objdata b9d8bcfc}"
               "{\\result shown}}{\\field{\\*\\fldinst HYPERLINK \"\\'b9\\'d8\"}{\\fldrslt link}}"
               "{\\listtext 1.\\tab}item{\\*\\bkmkstart b}{\\xe {\\'b9\\'d8\\'bc\\'fc}}"
               "{\\upr{ansi}{\\*\\ud{unicode}}}")
        << QStringLiteral("shownlinkitemansi") << done;
    QTest::newRow("\\bin data is passed over, braces and backslashes in it too")
        << chineseDocument("{\\pict\\bin6 }{\\\\{}}after") << QStringLiteral("after") << done;
    QTest::newRow("special characters and escaped symbols")
        << chineseDocument("a\\~b\\_c\\emdash d\\endash e\\lquote f\\rquote g\\ldblquote h"
                           "\\rdblquote i\\bullet j\\tab k\\line l\\{m\\}n\\\\o\\-p")
        << QStringLiteral(u"a\u00A0b-c—d–e‘f’g“h”i•j\tk\nl{m}n\\op") << done;
    QTest::newRow("headers and footnotes are text where they stand")
        << chineseDocument("{\\header \\'b9\\'d8}body{\\footnote note}")
        << QStringLiteral(u"关bodynote") << done;
    QTest::newRow("the space ending a control word is not text, the next one is")
        << chineseDocument("\\b  two\r\n lines") << QStringLiteral(" two lines") << done;
    QTest::newRow("the document ends where its outermost group closes")
        << QByteArray("{\\rtf1 in} out") << QStringLiteral("in") << done;
    QTest::newRow("a file cut short gives its text so far")
        << QByteArray("{\\rtf1 abc{\\b def") << QStringLiteral("abcdef") << done;
    QTest::newRow("an empty document") << QByteArray("{\\rtf1}") << QString() << done;
    QTest::newRow("bytes that are no RTF after the signature are damaged")
        << QByteArray("{\\rtf1\\ansi\\\x00\x01 text", 19) << QString() << Outcome::Damaged;
    QTest::newRow("text before a NUL byte is the document")
        << QByteArray("{\\rtf1 text\x00\x01 more", 18) << QStringLiteral("text") << done;
    QTest::newRow("a document of pictures only has no text")
        << chineseDocument("{\\pict\\pngblip 89504e47}\\par{\\*\\shppict{\\pict 00}}") << QString()
        << Outcome::NoText;
}

void TestRtfText::text()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(Outcome, outcome);
    const Extracted extracted = extract(rtf);
    QCOMPARE(extracted.text, text);
    QCOMPARE(extracted.outcome, outcome);
}

void TestRtfText::textMatchesTheOfficeSuitesExport_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("exported");
    QTest::addColumn<QStringList>("words");

    for (const fixtures::DocumentFixture &fixture :
         fixtures::documentFixtures({fixtures::Family::Rtf}))
        QTest::addRow("%s", qPrintable(fixture.about))
            << fixtures::documentPath(fixture) << fixtures::documentPath(fixture.exports.value(0))
            << fixture.words;
}

// The extracted text against LibreOffice's text export of the same file, and the words a reader
// of it sees in its search text.
void TestRtfText::textMatchesTheOfficeSuitesExport()
{
    QFETCH(QString, path);
    QFETCH(QString, exported);
    QFETCH(QStringList, words);
    const Extracted extracted = extract(Source(path));
    QCOMPARE(extracted.outcome, Outcome::Done);
    QCOMPARE(extracted.text, readUtf8(exported));
    QVERIFY(!words.isEmpty());
    for (const QString &word : std::as_const(words))
        QVERIFY2(fixtures::searchText(extracted.text).contains(word), qPrintable(word));
}

void TestRtfText::binaryDataOfAnySizeIsPassedOver()
{
    // 2 GiB and a few bytes of \bin data, a hole in a sparse file: passed over, not read.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("big.rtf"));
    const qint64 size = (qint64(2) << 30) + 3;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\\rtf1 before{\\pict\\bin" + QByteArray::number(size) + " ");
    QVERIFY(file.resize(file.pos() + size));
    QVERIFY(file.seek(file.size()));
    file.write("}after}");
    file.close();
    const Extracted extracted = extract(Source(path));
    QCOMPARE(extracted.outcome, Outcome::Done);
    QCOMPARE(extracted.text, QStringLiteral("beforeafter"));
}

void TestRtfText::textComesInPiecesAndStopsWhenTheCallerHasItsAnswer()
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936 ";
    for (int i = 0; i < 100000; ++i)
        rtf += "\\'b9\\'d8{\\b \\'bc\\'fc}\\'d7\\'d6\\par\n";
    rtf += "}";
    const Extracted whole = extract(rtf);
    QCOMPARE(whole.outcome, Outcome::Done);
    QCOMPARE(whole.text, QStringLiteral(u"关键字\n").repeated(100000));
    QVERIFY2(whole.pieces >= 20, qPrintable(QString::number(whole.pieces)));

    int calls = 0;
    const Source source = Source::fromBytes(rtf, QStringLiteral("long.rtf"));
    const Outcome outcome = documents::extractText(source, Kind::Rtf, [&](QStringView) {
        ++calls;
        return false;
    });
    QCOMPARE(outcome, Outcome::Stopped);
    QCOMPARE(calls, 1);
}

QTEST_GUILESS_MAIN(TestRtfText)
#include "tst_rtf_text.moc"
