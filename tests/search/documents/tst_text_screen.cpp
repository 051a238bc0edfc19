#include "search/documents/text_screen.h"

#include "document_fixtures.h"

#include <QTemporaryDir>
#include <QTest>

using documents::Kind;
using documents::PackageScan;
using documents::TextScreen;

Q_DECLARE_METATYPE(documents::Kind)

namespace {

using Entries = QList<QPair<QByteArray, QByteArray>>;

const QByteArray kWordNs =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
const QByteArray kRelsNs = "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"";
const QByteArray kRelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

QByteArray paragraph(const QByteArray &text)
{
    return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>";
}

// A Word package: `body` in the main part, then `parts` (name, relationship type or "" for a
// part the main part does not name, content).
Entries wordPackage(const QByteArray &body, const QList<QByteArrayList> &parts)
{
    Entries entries{{"[Content_Types].xml", fixtures::kWordContentTypes},
                    {"word/document.xml", fixtures::wordDocument(body)}};
    QByteArray rels = "<Relationships " + kRelsNs + ">";
    int id = 0;
    for (const QByteArrayList &part : parts) {
        if (!part[1].isEmpty())
            rels += "<Relationship Id=\"rId" + QByteArray::number(++id) + "\" Type=\"" + kRelType +
                    part[1] + "\" Target=\"" + part[0].mid(5) + "\"/>";
        entries.append({part[0], part[2]});
    }
    entries.append({"word/_rels/document.xml.rels", rels + "</Relationships>"});
    return entries;
}

} // namespace

// The screen may only answer Absent where the document's text cannot hold the keyword; the search
// tests compare whole documents with the extracted text. Here: the raw-byte rules, whatever the
// block sizes the entries inflate in.
class TestTextScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answerDoesNotDependOnBlocks_data();
    void answerDoesNotDependOnBlocks();
    void needlesAreTheNonAsciiCharacters();
    void radicalsStandForIdeographsInOfd_data();
    void radicalsStandForIdeographsInOfd();
    void onlyPartsWithTextAreScreened_data();
    void onlyPartsWithTextAreScreened();
    void formattedCellsAreScreenedAsShown_data();
    void formattedCellsAreScreenedAsShown();
};

void TestTextScreen::answerDoesNotDependOnBlocks_data()
{
    QTest::addColumn<QByteArrayList>("entries"); // name, content, name, content ...
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("possible");

    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    // Past the first 512 bytes, which are looked at whole.
    const QByteArray text = declaration + QByteArray(600, ' ') + "<w:t>批量</w:t><w:t>" +
                            QByteArray(40, 'x') + "查找</w:t>";
    const auto utf8 = [](const char16_t *s) { return QString::fromUtf16(s).toUtf8(); };
    const QString keyword = QStringLiteral(u"批量查找");

    QTest::newRow("every character in the XML, split by markup")
        << QByteArrayList{"word/document.xml", text} << keyword << true;
    QTest::newRow("one character nowhere")
        << QByteArrayList{"word/document.xml", text} << QStringLiteral(u"批量查无") << false;
    QTest::newRow("the characters spread over two entries")
        << QByteArrayList{"word/document.xml", declaration + "<t>批量</t>", "word/header1.xml",
                          declaration + "<t>查找</t>"}
        << keyword << true;
    QTest::newRow("a character reference")
        << QByteArrayList{"word/document.xml",
                          declaration + QByteArray(600, ' ') + "<t>&#x6279;量查找</t>"}
        << keyword << true;
    QTest::newRow("declared entities")
        << QByteArrayList{"content.xml", "<!DOCTYPE d [<!ENTITY k \"x\">]><d>&k;</d>"} << keyword
        << true;
    QTest::newRow("declared entities after a comment that holds a tag")
        << QByteArrayList{"content.xml", declaration +
                                             "<!-- <d> --><!DOCTYPE d [<!ENTITY k \"x\">]>"
                                             "<d>&k;</d>"}
        << keyword << true;
    QTest::newRow("declared entities after a comment that opens with a '>'")
        << QByteArrayList{"content.xml", declaration +
                                             "<!--> <d> --><!DOCTYPE d [<!ENTITY k \"x\">]>"
                                             "<d>&k;</d>"}
        << keyword << true;
    QTest::newRow("declared entities after a prolog longer than the head")
        << QByteArrayList{"content.xml", declaration + "<!--" + QByteArray(600, ' ') +
                                             "--><!DOCTYPE d [<!ENTITY k \"x\">]><d>&k;</d>"}
        << keyword << true;
    QTest::newRow("a document type's text inside the root element")
        << QByteArrayList{"content.xml", declaration + "<d><![CDATA[<!DOCTYPE d>]]>批量</d>"}
        << keyword << false;
    QTest::newRow("UTF-16 XML") << QByteArrayList{"word/document.xml",
                                                  QByteArray("\xFF\xFE<\0t\0>\0", 8) +
                                                      QByteArray(20, ' ')}
                                << keyword << true;
    QTest::newRow("XML declared in another encoding")
        << QByteArrayList{"word/document.xml", "<?xml version='1.0' encoding = 'GB18030'?><t/>"}
        << keyword << true;
    QTest::newRow("utf-8 declared in lower case, behind a byte order mark")
        << QByteArrayList{"word/document.xml", "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>"
                                               "<t>没有</t>"}
        << keyword << false;
    QTest::newRow("an .xml entry that is no XML (encrypted)")
        << QByteArrayList{"content.xml", "\x93\x11\xA7 random bytes"} << keyword << true;
    QTest::newRow("character reference bytes in an image")
        << QByteArrayList{"media/image1.png", "\x89PNG&#<!DOCTYPE"} << keyword << false;
    QTest::newRow("a manifest listing encrypted parts")
        << QByteArrayList{"META-INF/manifest.xml",
                          declaration + "<manifest:encryption-data manifest:checksum=\"a\"/>"}
        << keyword << true;
    QTest::newRow("a character outside the BMP")
        << QByteArrayList{"word/document.xml", declaration + utf8(u"<t>\U00020BB7字</t>")}
        << QStringLiteral(u"\U00020BB7字") << true;
    QTest::newRow("an empty .xml entry")
        << QByteArrayList{"word/document.xml", QByteArray()} << keyword << true;
}

void TestTextScreen::answerDoesNotDependOnBlocks()
{
    QFETCH(QByteArrayList, entries);
    QFETCH(QString, keyword);
    QFETCH(bool, possible);
    const TextScreen screen(keyword);
    QVERIFY(screen.usable());
    // Block sizes from one byte (every pattern split) to the whole entry at once.
    for (qsizetype blockSize : {1, 2, 3, 5, 13, 64, 511, 512, 513, 1 << 20}) {
        PackageScan scan(screen.needles());
        bool going = true;
        for (qsizetype e = 0; going && e + 1 < entries.size(); e += 2) {
            going = scan.beginEntry(entries[e]);
            const QByteArray &content = entries[e + 1];
            for (qsizetype at = 0; going && at < content.size(); at += blockSize)
                going = scan.feed(QByteArrayView(content).sliced(at).first(
                    std::min(blockSize, content.size() - at)));
        }
        QVERIFY2(scan.possibleAtEnd() == possible,
                 qPrintable(QStringLiteral("blocks of %1 bytes").arg(blockSize)));
    }
}

void TestTextScreen::radicalsStandForIdeographsInOfd_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("possible");
    QTest::newRow("an OFD page's radical ⼦ reads as 子") << Kind::Ofd << true;
    QTest::newRow("a Word document's radical stays a radical") << Kind::OfficeOpenXml << false;
}

void TestTextScreen::radicalsStandForIdeographsInOfd()
{
    QFETCH(Kind, kind);
    QFETCH(bool, possible);
    const TextScreen screen(QStringLiteral(u"电子"));
    PackageScan scan(screen.needles(), kind);
    QVERIFY(scan.beginEntry("Doc_0/Pages/Page_0/Content.xml"));
    scan.feed(QStringLiteral(u"<?xml version=\"1.0\"?><ofd:Page><ofd:TextObject><ofd:TextCode>"
                             u"电\u2F26</ofd:TextCode></ofd:TextObject></ofd:Page>")
                  .toUtf8());
    QCOMPARE(scan.possibleAtEnd(), possible);
}

void TestTextScreen::needlesAreTheNonAsciiCharacters()
{
    // ASCII is everywhere in markup, and the replacement character is what the XML reader may
    // write for bytes it cannot decode: neither tells anything from raw bytes.
    QVERIFY(!TextScreen(QStringLiteral("NeedleWord")).usable());
    QVERIFY(!TextScreen(QString()).usable());
    const TextScreen screen(QStringLiteral(u"a批\uFFFD批量\U00020BB7"));
    const std::vector<QByteArray> expected = {QStringLiteral(u"批").toUtf8(),
                                              QStringLiteral(u"量").toUtf8(),
                                              QStringLiteral(u"\U00020BB7").toUtf8()};
    QCOMPARE(screen.needles(), expected);
}

// A Word or Excel package is screened in the parts the reader takes text from: wherever the
// keyword reaches the text, the screen must leave it possible; where it sits only in a part the
// reader passes over, the screen answers Absent, as the extraction does.
void TestTextScreen::onlyPartsWithTextAreScreened_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<bool>("inText");

    const QByteArray key = "批量查找";
    const QByteArray other = paragraph("别的");
    const auto note = [&](const char *element, const QByteArray &inside) -> QByteArray {
        return "<w:" + QByteArray(element) + " " + kWordNs + ">" + inside + "</w:" + element + ">";
    };
    QTest::newRow("in the body") << wordPackage(paragraph(key), {}) << true;
    QTest::newRow("in a text box of the body")
        << wordPackage("<w:p><w:r><w:pict><w:txbxContent>" + paragraph(key) +
                           "</w:txbxContent></w:pict></w:r></w:p>",
                       {})
        << true;
    QTest::newRow("in a header") << wordPackage(other, {{"word/header2.xml", "header",
                                                         note("hdr", paragraph(key))}})
                                 << true;
    QTest::newRow("in a footer") << wordPackage(other, {{"word/footer1.xml", "footer",
                                                         note("ftr", paragraph(key))}})
                                 << true;
    QTest::newRow("in a footnote")
        << wordPackage(other,
                       {{"word/footnotes.xml", "footnotes",
                         note("footnotes", "<w:footnote>" + paragraph(key) + "</w:footnote>")}})
        << true;
    QTest::newRow("in an endnote")
        << wordPackage(other, {{"word/endnotes.xml", "endnotes",
                                note("endnotes", "<w:endnote>" + paragraph(key) + "</w:endnote>")}})
        << true;
    QTest::newRow("in a comment, its part named in capitals")
        << wordPackage(other, {{"word/Comments.xml", "comments",
                                note("comments", "<w:comment>" + paragraph(key) + "</w:comment>")}})
        << true;
    QTest::newRow("in the styles")
        << wordPackage(other, {{"word/styles.xml", "styles",
                                note("styles", "<w:name w:val=\"" + key + "\"/>")}})
        << false;
    QTest::newRow("in a chart") << wordPackage(other, {{"word/charts/chart1.xml", "chart",
                                                        "<c:chartSpace xmlns:c=\"urn:c\"><c:v>" +
                                                            key + "</c:v></c:chartSpace>"}})
                                << false;
    QTest::newRow("in an embedded sheet")
        << wordPackage(other, {{"word/embeddings/sheet1.xml", "package", "<t>" + key + "</t>"}})
        << false;
    QTest::newRow("in a header no relationship names")
        << wordPackage(other, {{"word/header1.xml", "", note("hdr", paragraph(key))}}) << false;

    const QByteArray sheetNs =
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    const QByteArray relNs =
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    const auto workbook = [&](const QByteArray &strings, const QByteArray &cell) {
        return Entries{
            {"[Content_Types].xml",
             "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
             "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"},
            {"xl/workbook.xml", "<workbook " + sheetNs + " " + relNs + "><sheets><sheet name=\"" +
                                    key + "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
            {"xl/_rels/workbook.xml.rels",
             "<Relationships " + kRelsNs + "><Relationship Id=\"rId1\" Type=\"" + kRelType +
                 "worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
                 kRelType + "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
            {"xl/sharedStrings.xml", "<sst " + sheetNs + "><si><t>" + strings + "</t></si></sst>"},
            {"xl/worksheets/sheet1.xml", "<worksheet " + sheetNs + "><sheetData><row r=\"1\">" +
                                             cell + "</row></sheetData></worksheet>"}};
    };
    QTest::newRow("in a shared string")
        << workbook(key, "<c r=\"A1\" t=\"s\"><v>0</v></c>") << true;
    QTest::newRow("in a cell's own string")
        << workbook("别的", "<c r=\"A1\" t=\"inlineStr\"><is><t>" + key + "</t></is></c>") << true;
    QTest::newRow("only in a sheet's name")
        << workbook("别的", "<c r=\"A1\"><v>1</v></c>") << false;
}

void TestTextScreen::onlyPartsWithTextAreScreened()
{
    QFETCH(Entries, entries);
    QFETCH(bool, inText);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.docx"));
    fixtures::writeZip(path, entries);
    QString text;
    QCOMPARE(documents::extractText(path, Kind::OfficeOpenXml,
                                    [&](QStringView piece) {
                                        text.append(piece);
                                        return true;
                                    }),
             documents::Outcome::Done);
    const QString keyword = QStringLiteral(u"批量查找");
    QCOMPARE(text.contains(keyword), inText);
    const TextScreen::Verdict verdict = TextScreen(keyword).screen(path, Kind::OfficeOpenXml, {});
    QCOMPARE(verdict, inText ? TextScreen::Verdict::Possible : TextScreen::Verdict::Absent);
}

// A workbook's numbers are read as their formats show them: the literals of its own format codes
// (in the styles part) and the characters the built-in Chinese formats and the Chinese names of
// months write, which no part holds, never rule a keyword out.
void TestTextScreen::formattedCellsAreScreenedAsShown_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("inText");
    QTest::newRow("a date in a format code of the workbook's own")
        << QStringLiteral(u"2021年4月28日") << true;
    QTest::newRow("a time in a built-in Chinese format, its characters in no part")
        << QStringLiteral(u"上午1时01分01秒") << true;
    QTest::newRow("a Chinese month name") << QStringLiteral(u"28-4月 四月") << true;
    QTest::newRow("a literal of a format code") << QStringLiteral(u"12.3千") << true;
    QTest::newRow("words the workbook does not hold") << QStringLiteral(u"批量查找") << false;
}

void TestTextScreen::formattedCellsAreScreenedAsShown()
{
    QFETCH(QString, keyword);
    QFETCH(bool, inText);
    const QString path = QStringLiteral(QUARLEX_DOCUMENTS_DIR "/formats.xlsx");
    QString text;
    QCOMPARE(documents::extractText(path, Kind::OfficeOpenXml,
                                    [&](QStringView piece) {
                                        text.append(piece);
                                        return true;
                                    }),
             documents::Outcome::Done);
    QCOMPARE(text.contains(keyword), inText);
    const TextScreen::Verdict verdict = TextScreen(keyword).screen(path, Kind::OfficeOpenXml, {});
    QCOMPARE(verdict, inText ? TextScreen::Verdict::Possible : TextScreen::Verdict::Absent);
}

QTEST_GUILESS_MAIN(TestTextScreen)
#include "tst_text_screen.moc"
