#include "document_fixtures.h"

#include "search/documents/document_text.h"
#include "search/documents/registry.h"
#include "search/documents/zip_package.h"
#include "support/document_catalogue.h"
#include "support/test_files.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using documents::Kind;
using documents::Outcome;
using fixtures::document;
using fixtures::DocumentFixture;
using fixtures::documentPath;
using fixtures::Family;
using fixtures::kindName;
using fixtures::kWordContentTypes;
using fixtures::le16;
using fixtures::le32;
using fixtures::outcomeName;
using fixtures::wordDocument;
using fixtures::writeZip;

Q_DECLARE_METATYPE(documents::Kind)
Q_DECLARE_METATYPE(documents::Outcome)

namespace {

struct Extracted
{
    Outcome outcome;
    QString text;
};

Extracted extract(const QString &path)
{
    Extracted result{Outcome::Done, QString()};
    const Kind kind = documents::recognise(path, fixtures::head(path));
    result.outcome = documents::extractText(path, kind, [&](QStringView piece) {
        result.text += piece;
        return true;
    });
    return result;
}

// The fixtures of the readers this test is about; RTF, OFD and pictures have tests of their own.
QList<DocumentFixture> readersFixtures()
{
    return fixtures::documentFixtures(
        {Family::Ooxml, Family::Odf, Family::Ole2, Family::Pdf, Family::Epub});
}

} // namespace

class TestDocumentText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void recognisedByContent_data();
    void recognisedByContent();
    void otherZipArchivesAreNoDocuments();
    void keywordIsInTheSearchText_data();
    void keywordIsInTheSearchText();
    void unreadableDocumentsAreNamed_data();
    void unreadableDocumentsAreNamed();
    void alteredPartsAreDamage_data();
    void alteredPartsAreDamage();
    void exactText_data();
    void exactText();
    void textMatchesTheOfficeSuitesExport_data();
    void textMatchesTheOfficeSuitesExport();
    void pdfSearchTextMatchesTheExport();
    void wordMarkup_data();
    void wordMarkup();
    void spreadsheetRepeats_data();
    void spreadsheetRepeats();
    void presentationFooters_data();
    void presentationFooters();
    void readingStopsWhenTheCallerHasItsAnswer();
    void stopFlagEndsTheExtraction();
    void zipBombStopsInflating();
    void word97Characters_data();
    void word97Characters();
    void excel97Records_data();
    void excel97Records();
    void powerPoint97Records_data();
    void powerPoint97Records();

private:
    QString write(const QString &name, const QList<QPair<QByteArray, QByteArray>> &entries);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDocumentText::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestDocumentText::write(const QString &name,
                                const QList<QPair<QByteArray, QByteArray>> &entries)
{
    const QString path = m_dir->filePath(name);
    writeZip(path, entries);
    return path;
}

// Every fixture of the readers this test is about, as the catalogue has it, and a text file.
void TestDocumentText::recognisedByContent_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Kind>("kind");

    for (const DocumentFixture &fixture : readersFixtures())
        QTest::addRow("%s is recognised as %s", qPrintable(fixture.about), kindName(fixture.kind))
            << documentPath(fixture) << fixture.kind;
    QTest::newRow("a text file is no document") << document("runs.export.txt") << Kind::NotDocument;
}

void TestDocumentText::recognisedByContent()
{
    QFETCH(QString, path);
    QFETCH(Kind, kind);
    QCOMPARE(documents::recognise(path, fixtures::head(path)), kind);
    // The name plays no part: the same bytes under another name are the same kind.
    const QString renamed = m_dir->filePath(QStringLiteral("renamed.txt"));
    QVERIFY(QFile::copy(path, renamed));
    QCOMPARE(documents::recognise(renamed, fixtures::head(renamed)), kind);
}

void TestDocumentText::otherZipArchivesAreNoDocuments()
{
    const QString plain = write(QStringLiteral("plain.docx"), {{"a.txt", "批量查找"}});
    QCOMPARE(documents::recognise(plain, fixtures::head(plain)), Kind::NotDocument);
    // XPS and NuGet packages declare their content types too, but no office main part.
    const QString xps = write(
        QStringLiteral("paper.xps"),
        {{"[Content_Types].xml",
          "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
          "content-types\"><Override PartName=\"/FixedDocSeq.fdseq\" "
          "ContentType=\"application/vnd.ms-package.xps-fixeddocumentsequence+xml\"/></Types>"}});
    QCOMPARE(documents::recognise(xps, fixtures::head(xps)), Kind::NotDocument);
    // Krita images have a mimetype entry too, of no office suite.
    const QString odfLike =
        write(QStringLiteral("image.kra"), {{"mimetype", "application/x-krita"}});
    QCOMPARE(documents::recognise(odfLike, fixtures::head(odfLike)), Kind::NotDocument);
}

// Every word the catalogue gives for a fixture of these readers is in its search text, damaged
// files' words too (those before the damage).
void TestDocumentText::keywordIsInTheSearchText_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<Outcome>("outcome");

    for (const DocumentFixture &fixture : readersFixtures()) {
        for (const QString &word : fixture.words)
            QTest::addRow("\"%s\" is in %s", qPrintable(word), qPrintable(fixture.about))
                << documentPath(fixture) << word << fixture.outcome;
    }
}

void TestDocumentText::keywordIsInTheSearchText()
{
    QFETCH(QString, path);
    QFETCH(QString, keyword);
    QFETCH(Outcome, outcome);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.outcome, outcome);
    QVERIFY2(fixtures::searchText(extracted.text).contains(keyword), qPrintable(extracted.text));
}

void TestDocumentText::unreadableDocumentsAreNamed_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Outcome>("outcome");

    for (const DocumentFixture &fixture : readersFixtures()) {
        if (fixture.outcome != Outcome::Done)
            QTest::addRow("%s is %s", qPrintable(fixture.about), outcomeName(fixture.outcome))
                << documentPath(fixture) << fixture.outcome;
    }
}

// A package's parts are checked against their CRC-32 however they are inflated (whole from
// memory, or block by block): a part altered, or recorded with another CRC-32, is damage.
void TestDocumentText::alteredPartsAreDamage_data()
{
    QTest::addColumn<QString>("alteration");
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("intact") << QStringLiteral("none") << Outcome::Done;
    QTest::newRow("the directory's CRC of the text part altered")
        << QStringLiteral("crc") << Outcome::Damaged;
    QTest::newRow("a byte of the text part's deflated data altered")
        << QStringLiteral("data") << Outcome::Damaged;
}

void TestDocumentText::alteredPartsAreDamage()
{
    QFETCH(QString, alteration);
    QFETCH(Outcome, outcome);
    QByteArray body;
    for (int i = 0; i < 400; ++i)
        body += "<w:p><w:r><w:t>Paragraph " + QByteArray::number(i) + " 校验文字</w:t></w:r></w:p>";
    const QString path = m_dir->filePath(QStringLiteral("altered.docx"));
    writeZip(path, {{"[Content_Types].xml", kWordContentTypes},
                    {"word/document.xml", wordDocument(body)}});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // The central directory's record of the text part.
    const QByteArrayView signature("PK\x01\x02", 4);
    qsizetype at = bytes.indexOf(signature);
    while (at >= 0 && bytes.mid(at + 46, 17) != "word/document.xml")
        at = bytes.indexOf(signature, at + 4);
    QVERIFY(at >= 0);
    QCOMPARE(quint16(uchar(bytes[at + 10])), quint16(8)); // deflated
    const auto u32 = [&](qsizetype offset) {
        return quint32(uchar(bytes[offset])) | quint32(uchar(bytes[offset + 1])) << 8 |
               quint32(uchar(bytes[offset + 2])) << 16 | quint32(uchar(bytes[offset + 3])) << 24;
    };
    if (alteration == u"crc") {
        bytes[at + 16] = char(bytes[at + 16] ^ 0x01);
    } else if (alteration == u"data") {
        const qsizetype local = u32(at + 42);
        const qsizetype data = local + 30 + uchar(bytes[local + 26]) + uchar(bytes[local + 28]);
        const qsizetype middle = data + qsizetype(u32(at + 20)) / 2;
        bytes[middle] = char(bytes[middle] ^ 0x20);
    }
    QVERIFY(file.seek(0));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    const Extracted extracted = extract(path);
    QCOMPARE(extracted.outcome, outcome);
    if (outcome == Outcome::Done) {
        QVERIFY(extracted.text.contains(u"Paragraph 399 校验文字"));
    }
}

void TestDocumentText::unreadableDocumentsAreNamed()
{
    QFETCH(QString, path);
    QFETCH(Outcome, outcome);
    QCOMPARE(extract(path).outcome, outcome);
}

void TestDocumentText::exactText_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");

    const QString sheets = QStringLiteral(u"名称,42\n批量,查找不在同一格\n"
                                          u"编号,说明,备注\n1,批量查找,\"a, b\"\n"
                                          u",NeedleCell,\"say \"\"hi\"\"\"\n");
    QTest::newRow("Excel rows are lines of comma-separated cells, sheet after sheet")
        << document("sheets.xlsx") << sheets;
    QTest::newRow("Calc rows are lines of comma-separated cells, sheet after sheet")
        << document("sheets.ods") << sheets;
    QTest::newRow("Excel 97 rows are lines of comma-separated cells, sheet after sheet")
        << document("sheets.xls") << sheets;
    const QString slides = QStringLiteral(u"第一页标题\n批量\n查找\nSecond slide: NeedleSlide\n"
                                          u"备注：NotesWord\n");
    QTest::newRow("PowerPoint paragraphs are lines, slides in order, then the notes")
        << document("slides.pptx") << slides;
    QTest::newRow("Impress paragraphs are lines, pages in order, then the notes")
        << document("slides.odp") << slides;
    QTest::newRow("PowerPoint 97 paragraphs are lines, slides in order, then the notes")
        << document("slides.ppt") << slides;
    QTest::newRow("an Impress master page footer once after the slides, before the notes")
        << document("footer.odp")
        << QStringLiteral(
               u"第一页标题\nSecond slide\n页脚：批量查找 FooterSlide\n备注：NotesWord\n");
    const QString header = QStringLiteral(u"正文只有这一段。\n页眉：批量查找 HeaderWord\n"
                                          u"页脚 FooterWord\n");
    QTest::newRow("a Word file's headers and footers follow its body")
        << document("header.docx") << header;
    QTest::newRow("a Writer file's headers and footers follow its body")
        << document("header.odt") << header;
    QTest::newRow("a Word 97 file's headers and footers follow its body")
        << document("header.doc") << header;
    QTest::newRow("a PDF of blank pages, with no image, is read whole and holds no text")
        << document("blank.pdf") << QString();
}

void TestDocumentText::exactText()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.outcome, Outcome::Done);
    QCOMPARE(extracted.text, text);
}

// Every fixture of these readers that has an export, but PDF files (below).
void TestDocumentText::textMatchesTheOfficeSuitesExport_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("exports");

    for (const DocumentFixture &fixture : readersFixtures()) {
        if (fixture.exports.isEmpty() || fixture.family == Family::Pdf)
            continue;
        QStringList exports;
        for (const QString &file : fixture.exports)
            exports.append(documentPath(file));
        QTest::addRow("%s", qPrintable(fixture.about)) << documentPath(fixture) << exports;
    }
}

// The differential check: the extracted text against what the office suite itself exports. Three
// differences are by design and taken out of the export before comparing: the text export writes
// a list item's label ("• ", "1. ") in front of it, which is generated by the list style and is
// not document text; the CSV export fills every row with empty fields up to the widest row of the
// sheet, where the extracted text ends a row at its last filled cell; and the text export leaves
// out headers and footers, which the extracted text has after the body (so the export must be the
// first lines of the extracted text).
void TestDocumentText::textMatchesTheOfficeSuitesExport()
{
    QFETCH(QString, path);
    QFETCH(QStringList, exports);
    QString expected;
    static const QRegularExpression trailingEmptyFields(QStringLiteral(",+$"),
                                                        QRegularExpression::MultilineOption);
    for (const QString &file : exports)
        expected +=
            file.endsWith(u".csv") ? readUtf8(file).remove(trailingEmptyFields) : readUtf8(file);
    static const QRegularExpression listLabel(QStringLiteral(u"^ *(• |\\d+\\. )"),
                                              QRegularExpression::MultilineOption);
    expected.remove(listLabel);

    const Extracted extracted = extract(path);
    QCOMPARE(extracted.outcome, Outcome::Done);
    QCOMPARE(extracted.text.left(expected.size()), expected);
    QCOMPARE(fixtures::searchText(extracted.text).startsWith(fixtures::searchText(expected)), true);
}

// A PDF's lines are where the page layout broke them and its blanks are where the glyphs stand,
// so line for line equality with the source's text export cannot hold. What must hold is that the
// search text, blanks aside, is the export's.
void TestDocumentText::pdfSearchTextMatchesTheExport()
{
    const Extracted extracted = extract(document(QStringLiteral("pages.pdf")));
    QCOMPARE(extracted.outcome, Outcome::Done);
    const auto withoutBlanks = [](QString text) {
        text.remove(QRegularExpression(QStringLiteral("\\s")));
        return text;
    };
    QCOMPARE(withoutBlanks(fixtures::searchText(extracted.text)),
             withoutBlanks(
                 fixtures::searchText(readUtf8(document(QStringLiteral("pages.export.txt"))))));
}

void TestDocumentText::wordMarkup_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");

    QTest::newRow("tab stops in paragraph properties are no tab characters")
        << QByteArray("<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr>"
                      "<w:r><w:t>a</w:t><w:tab/><w:t>b</w:t></w:r></w:p>")
        << QStringLiteral("a\tb\n");
    QTest::newRow("a line break inside a paragraph is a line end")
        << QByteArray("<w:p><w:r><w:t>a</w:t><w:br/><w:t>b</w:t></w:r></w:p>")
        << QStringLiteral("a\nb\n");
    QTest::newRow("deleted text of a tracked change is left out, inserted text kept")
        << QByteArray("<w:p><w:del><w:r><w:delText>old</w:delText></w:r></w:del>"
                      "<w:ins><w:r><w:t>new</w:t></w:r></w:ins></w:p>")
        << QStringLiteral("new\n");
    QTest::newRow("the fallback copy of a text box is not read twice")
        << QByteArray("<w:p><w:r><mc:AlternateContent xmlns:mc=\"http://schemas.openxmlformats.org/"
                      "markup-compatibility/2006\"><mc:Choice Requires=\"wps\"><w:txbxContent><w:p>"
                      "<w:r><w:t>box</w:t></w:r></w:p></w:txbxContent></mc:Choice><mc:Fallback>"
                      "<w:txbxContent><w:p><w:r><w:t>box</w:t></w:r></w:p></w:txbxContent>"
                      "</mc:Fallback></mc:AlternateContent></w:r></w:p>")
        << QStringLiteral("box\n\n");
    QTest::newRow("entities and blanks kept by xml:space are text")
        << QByteArray("<w:p><w:r><w:t xml:space=\"preserve\"> a &amp; b </w:t></w:r></w:p>")
        << QStringLiteral(" a & b \n");
    QTest::newRow("a part that is not well-formed XML gives the text before the fault")
        << QByteArray("<w:p><w:r><w:t>before</w:t></w:r></w:p><w:p><w:r><w:t>x</w:r></w:p>"
                      "<w:p><w:r><w:t>after</w:t></w:r></w:p>")
        << QStringLiteral("before\nx");
}

void TestDocumentText::wordMarkup()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    const QString path =
        write(QStringLiteral("markup.docx"), {{"[Content_Types].xml", kWordContentTypes},
                                              {"word/document.xml", wordDocument(body)}});
    QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::OfficeOpenXml);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.text, text);
    const bool wellFormed = !QByteArray(QTest::currentDataTag()).contains("not well-formed");
    QCOMPARE(extracted.outcome, wellFormed ? Outcome::Done : Outcome::Damaged);
}

void TestDocumentText::spreadsheetRepeats_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QString>("text");

    const QByteArray cell = "<table:table-cell><text:p>x</text:p></table:table-cell>";
    QTest::newRow("a repeated filled cell is written once per column")
        << QByteArray("<table:table-row><table:table-cell table:number-columns-repeated=\"3\">"
                      "<text:p>a</text:p></table:table-cell></table:table-row>")
        << QStringLiteral("a,a,a\n");
    QTest::newRow("repeated empty cells before a filled one are empty fields, after it nothing")
        << QByteArray("<table:table-row><table:table-cell table:number-columns-repeated=\"2\"/>" +
                      cell +
                      "<table:table-cell table:number-columns-repeated=\"16381\"/>"
                      "</table:table-row>")
        << QStringLiteral(",,x\n");
    QTest::newRow("a repeated row is written once per row, empty rows not at all")
        << QByteArray("<table:table-row table:number-rows-repeated=\"2\">" + cell +
                      "</table:table-row><table:table-row table:number-rows-repeated=\"1048574\">"
                      "<table:table-cell/></table:table-row>")
        << QStringLiteral("x\nx\n");
    QTest::newRow("the paragraphs of one cell are lines inside the quoted cell")
        << QByteArray("<table:table-row><table:table-cell><text:p>one</text:p><text:p>two</text:p>"
                      "</table:table-cell>" +
                      cell + "</table:table-row>")
        << QStringLiteral("\"one\ntwo\",x\n");
    QTest::newRow("a comment on a cell is no cell text and follows the row")
        << QByteArray("<table:table-row><table:table-cell><office:annotation><text:p>note</text:p>"
                      "</office:annotation><text:p>v</text:p></table:table-cell>" +
                      cell + "</table:table-row>")
        << QStringLiteral("v,x\nnote\n");
}

void TestDocumentText::spreadsheetRepeats()
{
    QFETCH(QByteArray, rows);
    QFETCH(QString, text);
    const QByteArray content =
        "<?xml version=\"1.0\"?><office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
        "<office:spreadsheet><table:table table:name=\"S\">" +
        rows + "</table:table></office:spreadsheet></office:body></office:document-content>";
    const QString path = write(
        QStringLiteral("sheet.ods"),
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}});
    QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::OpenDocument);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.outcome, Outcome::Done);
    QCOMPARE(extracted.text, text);
}

void TestDocumentText::presentationFooters_data()
{
    QTest::addColumn<QByteArray>("masters");
    QTest::addColumn<QByteArray>("pages");
    QTest::addColumn<QString>("text");

    const QByteArray withFooter =
        "<style:master-page style:name=\"M\"><draw:frame presentation:class=\"footer\">"
        "<draw:text-box><text:p><presentation:footer/></text:p></draw:text-box></draw:frame>"
        "<presentation:notes><draw:frame presentation:class=\"header\"><draw:text-box><text:p>"
        "<presentation:header/></text:p></draw:text-box></draw:frame></presentation:notes>"
        "</style:master-page>";
    const QByteArray without = "<style:master-page style:name=\"Plain\"/>";
    const QByteArray declarations =
        "<presentation:header-decl presentation:name=\"h\">HeaderWord</presentation:header-decl>"
        "<presentation:footer-decl presentation:name=\"f1\">FooterOne</presentation:footer-decl>"
        "<presentation:footer-decl presentation:name=\"f2\">FooterTwo</presentation:footer-decl>";
    const auto page = [](const char *master, const char *footer, const char *text) -> QByteArray {
        return "<draw:page draw:master-page-name=\"" + QByteArray(master) +
               "\" presentation:use-footer-name=\"" + footer +
               "\"><draw:frame><draw:text-box>"
               "<text:p>" +
               text + "</text:p></draw:text-box></draw:frame></draw:page>";
    };
    QTest::newRow("each footer once after the slides, in the order the slides show them")
        << withFooter
        << declarations + page("M", "f2", "s1") + page("M", "f1", "s2") + page("M", "f2", "s3")
        << QStringLiteral("s1\ns2\ns3\nFooterTwo\nFooterOne\n");
    QTest::newRow("a master page without the footer field does not show it")
        << withFooter + without << declarations + page("Plain", "f1", "s1") + page("M", "f2", "s2")
        << QStringLiteral("s1\ns2\nFooterTwo\n");
    QTest::newRow("the notes page's header, between the slides and the notes")
        << withFooter
        << declarations +
               "<draw:page draw:master-page-name=\"M\"><draw:frame><draw:text-box><text:p>s1"
               "</text:p></draw:text-box></draw:frame><presentation:notes "
               "presentation:use-header-name=\"h\"><draw:frame><draw:text-box><text:p>note"
               "</text:p></draw:text-box></draw:frame></presentation:notes></draw:page>"
        << QStringLiteral("s1\nHeaderWord\nnote\n");

    // A footer typed into the master's footer frame and a text box drawn on the master: only
    // styles.xml holds them. Not the prompt of a placeholder, a field's stand-in, the notes
    // page's own text, nor a master no page uses.
    const QByteArray typedFooter =
        "<style:master-page style:name=\"T\"><draw:frame presentation:class=\"title\" "
        "presentation:placeholder=\"true\"><draw:text-box><text:p>PromptText</text:p>"
        "</draw:text-box></draw:frame><draw:frame presentation:class=\"footer\"><draw:text-box>"
        "<text:p>页脚<text:s/>TypedFooter</text:p></draw:text-box></draw:frame>"
        "<draw:frame presentation:class=\"page-number\"><draw:text-box><text:p><text:page-number>"
        "&lt;number&gt;</text:page-number></text:p></draw:text-box></draw:frame>"
        "<draw:frame><draw:text-box><text:p>MasterBox</text:p></draw:text-box></draw:frame>"
        "<presentation:notes><draw:frame><draw:text-box><text:p>NotesMaster</text:p>"
        "</draw:text-box></draw:frame></presentation:notes></style:master-page>"
        "<style:master-page style:name=\"Unused\"><draw:frame><draw:text-box><text:p>Unused"
        "</text:p></draw:text-box></draw:frame></style:master-page>";
    QTest::newRow("text of the master page itself, once after the slides and the declared footers")
        << withFooter + typedFooter
        << declarations + page("T", "", "s1") + page("M", "f1", "s2") + page("T", "", "s3")
        << QStringLiteral(u"s1\ns2\ns3\nFooterOne\n页脚 TypedFooter\nMasterBox\n");
}

void TestDocumentText::presentationFooters()
{
    QFETCH(QByteArray, masters);
    QFETCH(QByteArray, pages);
    QFETCH(QString, text);
    const QByteArray namespaces =
        " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
        " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
        " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
        " xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\""
        " xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\"";
    const QString path = m_dir->filePath(QStringLiteral("slides.odp"));
    fixtures::writeZip(
        path, {{"mimetype", "application/vnd.oasis.opendocument.presentation"},
               {"content.xml", "<office:document-content" + namespaces +
                                   "><office:body><office:presentation>" + pages +
                                   "</office:presentation></office:body>"
                                   "</office:document-content>"},
               {"styles.xml", "<office:document-styles" + namespaces + "><office:master-styles>" +
                                  masters + "</office:master-styles></office:document-styles>"}});
    QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::OpenDocument);
    QString extracted;
    QCOMPARE(documents::extractText(path, Kind::OpenDocument,
                                    [&](QStringView piece) {
                                        extracted += piece;
                                        return true;
                                    }),
             Outcome::Done);
    QCOMPARE(extracted, text);
}

void TestDocumentText::readingStopsWhenTheCallerHasItsAnswer()
{
    // The benchmark's Word file has far more text than one piece.
    const QString path = fixtures::benchDocument(QStringLiteral("chinese.docx"));
    int calls = 0;
    const Outcome outcome =
        documents::extractText(path, Kind::OfficeOpenXml, [&](QStringView) { return ++calls < 1; });
    QCOMPARE(outcome, Outcome::Stopped);
    QCOMPARE(calls, 1);
}

void TestDocumentText::stopFlagEndsTheExtraction()
{
    platform::WorkMonitor monitor;
    monitor.cancel();
    int calls = 0;
    const Outcome outcome = documents::openAs(document(QStringLiteral("pages.pdf")), Kind::Pdf)
                                ->extract([&](QStringView) { return ++calls > 0; }, monitor);
    QCOMPARE(outcome, Outcome::Stopped);
    QCOMPARE(calls, 0);
}

void TestDocumentText::zipBombStopsInflating()
{
    documents::ZipPackage package;
    QVERIFY(package.open(document(QStringLiteral("bomb.docx"))));
    qint64 inflated = 0;
    const auto status =
        package.read(QStringLiteral("word/document.xml"), [&](QByteArrayView block) {
            inflated += block.size();
            return true;
        });
    QCOMPARE(status, documents::ZipPackage::Status::TooLarge);
    // Stopped before the end of the 48 MiB entry.
    QVERIFY(inflated < 48 << 20);

    // An entry of ordinary text compresses far less than 1,000 to 1 and is read whole.
    QByteArray text;
    for (qint64 i = 0; text.size() < (3 << 20); ++i)
        text += QByteArray::number(i * 7919 % 100003) + ' ';
    const QString plain = write(QStringLiteral("plain.zip"), {{"big.txt", text}});
    QVERIFY(package.open(plain));
    QByteArray content;
    QCOMPARE(package.readAll(QStringLiteral("big.txt"), content),
             documents::ZipPackage::Status::Ok);
    QCOMPARE(content, text);
}

namespace {

// The faults a Word 97 file is written with.
enum WordFault { NoFault, Encrypted, PieceOutsideStream, NoTableStream, TextPastThePieces };

// A Word 97 file of one piece holding `text`: the FIB fields read (table stream 1Table, ccpText,
// the Clx), the text at offset 1024 of the WordDocument stream.
QList<QPair<QByteArray, QByteArray>> word97Streams(const QString &text, bool compressed, int fault)
{
    constexpr int kTextAt = 1024;
    QByteArray fib(kTextAt, '\0');
    const auto put = [&](int at, const QByteArray &field) { fib.replace(at, field.size(), field); };
    put(0, le16(0xA5EC));
    put(2, le16(0x00C1));
    put(0x0A, le16(0x0200 | (fault == Encrypted ? 0x0100 : 0)));
    put(32, le16(14)); // csw: FibRgW97
    put(62, le16(22)); // cslw: FibRgLw97, ccpText at 64 + 12
    put(76, le32(quint32(text.size() + (fault == TextPastThePieces ? 10 : 0))));
    put(152, le16(93)); // cbRgFcLcb: FibRgFcLcb97, fcClx/lcbClx at 154 + 33 * 8
    const quint32 fc = fault == PieceOutsideStream ? 1 << 20 : kTextAt;
    const QByteArray clx = QByteArray(1, '\x02') + le32(16) + le32(0) + le32(text.size()) +
                           le16(0) + le32(compressed ? 0x40000000 | (2 * fc) : fc) + le16(0);
    put(418, le32(0));
    put(422, le32(clx.size()));
    const QByteArray characters =
        compressed ? text.toLatin1()
                   : QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return {{"WordDocument", fib + characters},
            {fault == NoTableStream ? "0Table" : "1Table", clx}};
}

QByteArray biffRecord(quint16 type, const QByteArray &data)
{
    return le16(type) + le16(data.size()) + data;
}

QByteArray cellHead(quint16 row, quint16 column)
{
    return le16(row) + le16(column) + le16(0);
}

QByteArray float64(double value)
{
    QByteArray bytes(8, '\0');
    std::memcpy(bytes.data(), &value, 8);
    return bytes;
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// A workbook stream: the globals (BOF of `version`, `globals`, one BoundSheet8, EOF), then one
// worksheet holding `cells`, or a sheet list that points past the end of the stream.
// Where the worksheet of a test workbook stands: where its BoundSheet record says; after globals
// whose BoundSheet points past the end of the stream; nowhere (the stream ends with the globals);
// after globals without a BoundSheet record; alone, without globals.
enum class SheetPlace { AtBoundSheet, Misplaced, Missing, Unlisted, WithoutGlobals };

QByteArray workbook(quint16 version, const QByteArray &globals, const QByteArray &cells,
                    SheetPlace place = SheetPlace::AtBoundSheet)
{
    const auto bof = [&](quint16 type) {
        return biffRecord(0x0809, le16(version) + le16(type) + QByteArray(12, '\0'));
    };
    const QByteArray eof = biffRecord(0x000A, QByteArray());
    const QByteArray sheet = bof(0x0010) + cells + eof;
    if (place == SheetPlace::WithoutGlobals)
        return sheet;
    const QByteArray start = bof(0x0005) + globals;
    if (place == SheetPlace::Unlisted)
        return start + eof + sheet;
    const qsizetype sheetAt = start.size() + 4 + 9 + eof.size();
    const QByteArray boundSheet =
        biffRecord(0x0085, le32(place == SheetPlace::AtBoundSheet ? sheetAt : 1 << 20) +
                               QByteArray("\0\0\x01\0S", 5));
    return start + boundSheet + eof + (place == SheetPlace::Missing ? QByteArray() : sheet);
}

QByteArray pptRecord(quint16 versionInstance, quint16 type, const QByteArray &data)
{
    return le16(versionInstance) + le16(type) + le32(data.size()) + data;
}

QByteArray pptContainer(quint16 type, const QByteArray &children, quint16 instance = 0)
{
    return pptRecord(quint16(0x000F | instance << 4), type, children);
}

QByteArray textChars(const QString &text)
{
    return pptRecord(0, 0x0FA0, utf16(text));
}

} // namespace

Q_DECLARE_METATYPE(WordFault)

void TestDocumentText::word97Characters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<WordFault>("fault");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<Outcome>("outcome");

    const auto row = [](const char *name, const QString &text, const QString &expected) {
        QTest::newRow(name) << text << false << NoFault << expected << Outcome::Done;
    };
    row("a field's code is left out and its result kept",
        QStringLiteral(u"a\u0013 PAGE \u00143\u0015b\r"), QStringLiteral("a3b\n"));
    row("fields nest: only the outer result is text",
        QStringLiteral(u"\u0013 IF \u0013 PAGE \u00141\u0015 = 1 \"x\" \u0014批量\u0015\r"),
        QStringLiteral(u"批量\n"));
    row("a field without a separator is all code", QStringLiteral(u"a\u0013 TC x \u0015b\r"),
        QStringLiteral("ab\n"));
    row("line and page breaks end lines, a tab stays", QStringLiteral(u"a\u000Bb\u000Cc\td\r"),
        QStringLiteral("a\nb\nc\td\n"));
    row("a non-breaking hyphen is a hyphen, an optional one nothing",
        QStringLiteral(u"co\u001Eop\u001Fer\r"), QStringLiteral("co-oper\n"));
    row("object anchors, note references and other control characters are no text",
        QStringLiteral(u"a\u0001b\u0008c\u0002d\u0005e\r"), QStringLiteral("abcde\n"));
    QTest::newRow("an 8-bit piece maps the Windows-1252 punctuation, no other byte")
        << QStringLiteral(u"\u0093q\u0094 \u0080\u0096\u00E9\r") << true << NoFault
        << QStringLiteral(u"“q” \u0080–é\n") << Outcome::Done;
    const auto fault = [](const char *name, WordFault kind, const QString &expected,
                          Outcome outcome) {
        QTest::newRow(name) << QStringLiteral("ab\r") << false << kind << expected << outcome;
    };
    fault("a file with the encrypted flag is encrypted", Encrypted, QString(), Outcome::Encrypted);
    fault("a piece outside the stream is damage", PieceOutsideStream, QString(), Outcome::Damaged);
    fault("a missing table stream is damage", NoTableStream, QString(), Outcome::Damaged);
    fault("main text longer than the pieces is damage, after the text there is", TextPastThePieces,
          QStringLiteral("ab\n"), Outcome::Damaged);
}

void TestDocumentText::word97Characters()
{
    QFETCH(QString, text);
    QFETCH(bool, compressed);
    QFETCH(WordFault, fault);
    QFETCH(QString, expected);
    QFETCH(Outcome, outcome);
    const QString path = m_dir->filePath(QStringLiteral("w.doc"));
    fixtures::writeCompoundFile(path, word97Streams(text, compressed, fault));
    QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::Word97);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.text, expected);
    QCOMPARE(extracted.outcome, outcome);
}

void TestDocumentText::excel97Records_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<Outcome>("outcome");

    const auto label = [](quint16 row, quint16 column, const QByteArray &latin1) {
        return biffRecord(0x0204, cellHead(row, column) + le16(latin1.size()) +
                                      QByteArray(1, '\0') + latin1);
    };
    const auto labelSst = [](quint16 row, quint16 column, quint32 index) {
        return biffRecord(0x00FD, cellHead(row, column) + le32(index));
    };
    const auto formula = [](quint16 row, quint16 column, const QByteArray &value) {
        return biffRecord(0x0006, cellHead(row, column) + value + QByteArray(8, '\0'));
    };
    // "ab" in 8-bit characters in the SST record; "批量" goes on in the CONTINUE record after a new
    // width byte, and the next string lies whole in it.
    const QByteArray sst =
        biffRecord(0x00FC, le32(2) + le32(2) + le16(4) + QByteArray(1, '\0') + "ab") +
        biffRecord(0x003C, QByteArray(1, '\x01') + utf16(QStringLiteral(u"批量")) + le16(2) +
                               QByteArray(1, '\x01') + utf16(QStringLiteral(u"查找")));
    QTest::newRow("a shared string continued in 16-bit characters")
        << workbook(0x0600, sst, labelSst(0, 0, 0) + labelSst(0, 1, 1))
        << QStringLiteral(u"ab批量,查找\n") << Outcome::Done;
    const QByteArray rich =
        biffRecord(0x00FC, le32(1) + le32(1) + le16(2) + QByteArray(1, '\x0C') + le16(1) + le32(4) +
                               "xy" + QByteArray(8, '\x7F'));
    QTest::newRow("a shared string's formatting runs and phonetic data are passed over")
        << workbook(0x0600, rich, labelSst(0, 0, 0) + labelSst(0, 1, 1)) << QStringLiteral("xy\n")
        << Outcome::Done;
    // Integer 5, 125 / 100, and the high 32 bits of 0.5.
    const QByteArray mulRk =
        biffRecord(0x00BD, le16(0) + le16(1) + le16(0) + le32(5 << 2 | 2) + le16(0) +
                               le32(125 << 2 | 3) + le16(0) + le32(0x3FE00000) + le16(3));
    QTest::newRow("RK numbers: integers, hundredths and doubles")
        << workbook(0x0600, QByteArray(), mulRk) << QStringLiteral(",5,1.25,0.5\n")
        << Outcome::Done;
    // Number formats: FORMAT records declare codes, XF records (cell styles, in order) name a
    // format each, a cell names its XF; dates count from 1904 where DATE1904 says so.
    const auto xf = [](quint16 format) {
        return biffRecord(0x00E0, le16(0) + le16(format) + QByteArray(16, '\0'));
    };
    const auto inStyle = [](quint16 column, quint16 style, double value) {
        return biffRecord(0x0203, le16(0) + le16(column) + le16(style) + float64(value));
    };
    const QByteArray styles =
        biffRecord(0x041E, le16(164) + le16(5) + QByteArray(1, '\0') + "0.00%") + xf(0) + xf(164) +
        xf(14);
    QTest::newRow("numbers, RK numbers and formula results as their cell style's format shows them")
        << workbook(0x0600, styles,
                    inStyle(0, 1, 1.1111) + inStyle(1, 0, 1.5) +
                        biffRecord(0x00BD, le16(0) + le16(2) + le16(2) + le32(44314 << 2 | 2) +
                                               le16(1) + le32(50 << 2 | 3) + le16(3)) +
                        biffRecord(0x0006, le16(0) + le16(4) + le16(2) + float64(44314.5) +
                                               QByteArray(8, '\0')))
        << QStringLiteral("111.11%,1.5,2021/4/28,50.00%,2021/4/28\n") << Outcome::Done;
    QTest::newRow("dates counted from 1904")
        << workbook(0x0600, biffRecord(0x0022, le16(1)) + styles, inStyle(0, 2, 44314))
        << QStringLiteral("2025/4/29\n") << Outcome::Done;
    QTest::newRow("an Excel 95 format code is 8-bit text in the workbook's code page")
        << workbook(0x0500,
                    biffRecord(0x0042, le16(936)) +
                        biffRecord(0x041E, le16(170) + QByteArray(1, '\x0C') +
                                               "yyyy\"\xC4\xEA\"m\"\xD4\xC2\"") +
                        xf(0) + xf(170),
                    inStyle(0, 1, 44314))
        << QStringLiteral(u"2021年4月\n") << Outcome::Done;
    const QByteArray text = QByteArray(6, '\0') + le16(0xFFFF);
    QTest::newRow("a formula's text result is in the STRING record after it, continued")
        << workbook(0x0600, QByteArray(),
                    formula(0, 0, text) +
                        biffRecord(0x0207, le16(4) + QByteArray(1, '\x01') +
                                               utf16(QStringLiteral(u"批量"))) +
                        biffRecord(0x003C, QByteArray(1, '\0') + "ab"))
        << QStringLiteral(u"批量ab\n") << Outcome::Done;
    QTest::newRow("rows in order, cells in column order, a cell written twice counts once")
        << workbook(0x0600, QByteArray(),
                    biffRecord(0x0203, cellHead(1, 0) + float64(2)) + label(0, 2, "c") +
                        label(0, 0, "a") + label(0, 0, "A"))
        << QStringLiteral("A,,c\n2\n") << Outcome::Done;
    const QByteArray boolean = QByteArray("\x01\0\0\0\0\0", 6) + le16(0xFFFF);
    const QByteArray error = QByteArray("\x02\0\x2A\0\0\0", 6) + le16(0xFFFF);
    QTest::newRow("booleans and errors, as values and as formula results")
        << workbook(0x0600, QByteArray(),
                    biffRecord(0x0205, cellHead(0, 0) + QByteArray("\x01\x00", 2)) +
                        biffRecord(0x0205, cellHead(0, 1) + QByteArray("\x07\x01", 2)) +
                        formula(0, 2, boolean) + formula(0, 3, error))
        << QStringLiteral("1,#DIV/0!,0,#N/A\n") << Outcome::Done;
    QTest::newRow("an Excel 95 label is 8-bit text in the workbook's code page")
        << workbook(0x0500, biffRecord(0x0042, le16(936)),
                    biffRecord(0x0204, cellHead(0, 1) + le16(4) + "\xC5\xFA\xC1\xBF"))
        << QStringLiteral(u",批量\n") << Outcome::Done;
    QTest::newRow("a workbook with a password is encrypted")
        << workbook(0x0600, biffRecord(0x002F, le16(1) + QByteArray(52, '\0')),
                    label(0, 0, "secret"))
        << QString() << Outcome::Encrypted;
    QTest::newRow("a sheet past the end of the stream is damage")
        << workbook(0x0600, QByteArray(), label(0, 0, "a"), SheetPlace::Missing) << QString()
        << Outcome::Damaged;
    // A damaged real workbook has BoundSheet offsets two bytes off.
    QTest::newRow("a sheet its BoundSheet misplaces is the one in its place after the globals")
        << workbook(0x0600, QByteArray(), label(0, 0, "a"), SheetPlace::Misplaced)
        << QStringLiteral("a\n") << Outcome::Done;
    QTest::newRow("without BoundSheet records, the worksheets after the globals")
        << workbook(0x0600, QByteArray(), label(0, 0, "a"), SheetPlace::Unlisted)
        << QStringLiteral("a\n") << Outcome::Done;
    QTest::newRow("a stream of worksheets without globals")
        << workbook(0x0600, QByteArray(), label(0, 0, "a"), SheetPlace::WithoutGlobals)
        << QStringLiteral("a\n") << Outcome::Done;
    QTest::newRow("a record past the end of the stream is damage, after the rows before it")
        << workbook(0x0600, QByteArray(), label(0, 0, "a") + le16(0x0204) + le16(100) + "xx")
        << QStringLiteral("a\n") << Outcome::Damaged;
}

void TestDocumentText::excel97Records()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, expected);
    QFETCH(Outcome, outcome);
    const QString path = m_dir->filePath(QStringLiteral("w.xls"));
    fixtures::writeCompoundFile(path, {{"Workbook", stream}});
    QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::Excel97);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.text, expected);
    QCOMPARE(extracted.outcome, outcome);
}

void TestDocumentText::powerPoint97Records_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("currentUser");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<Outcome>("outcome");

    const auto currentUser = [](quint32 token, quint32 edit) {
        return pptRecord(0, 0x0FF6, le32(0x14) + le32(token) + le32(edit) + QByteArray(8, '\0'));
    };
    QTest::newRow("without the current user the text atoms come in stream order, masters left out")
        << pptContainer(0x03F8, textChars(QStringLiteral("master"))) +
               pptContainer(0x03EE, textChars(QStringLiteral(u"批量\r查找"))) +
               pptContainer(0x03F0, pptRecord(0, 0x0FA8, "note"))
        << QByteArray() << QStringLiteral(u"批量\n查找\nnote\n") << Outcome::Done;

    // Persist identifiers 1, 2, 3: the document, slide A, slide B. The slide list names B first,
    // and gives A a placeholder text that A's drawing refers to after its own text box.
    const auto slidePersist = [](quint32 persist) {
        return pptRecord(0, 0x03F3,
                         le32(persist) + le32(0) + le32(0) + le32(256 + persist) + le32(0));
    };
    const QByteArray document =
        pptContainer(0x03E8, pptContainer(0x0FF0, slidePersist(3) + slidePersist(2) +
                                                      pptRecord(0, 0x0F9F, le32(0)) +
                                                      textChars(QStringLiteral("listed"))));
    const QByteArray slideA =
        pptContainer(0x03EE, pptContainer(0x040C, textChars(QStringLiteral("one")) +
                                                      pptRecord(0, 0x0F9E, le32(0))));
    const QByteArray slideB = pptContainer(0x03EE, textChars(QStringLiteral("two")));
    const qsizetype directoryAt = document.size() + slideA.size() + slideB.size();
    const QByteArray directory = pptRecord(0, 0x1772,
                                           le32(3 << 20 | 1) + le32(0) + le32(document.size()) +
                                               le32(document.size() + slideA.size()));
    const qsizetype editAt = directoryAt + directory.size();
    const QByteArray edit = pptRecord(
        0, 0x0FF5, le32(0) + le32(0) + le32(0) + le32(directoryAt) + le32(1) + le32(4) + le32(0));
    QTest::newRow("slides in the order of the slide list, placeholder text where it is referred to")
        << document + slideA + slideB + directory + edit << currentUser(0xE391C05F, editAt)
        << QStringLiteral("two\none\nlisted\n") << Outcome::Done;
    QTest::newRow("a presentation whose current user is marked encrypted is encrypted")
        << document + slideA + slideB + directory + edit << currentUser(0xF3D1C4DF, editAt)
        << QString() << Outcome::Encrypted;

    // Persist identifiers 1, 2, 3: the document, a slide, its master. The master has a
    // placeholder with its prompt and a text box of its own; the document gives the slides a
    // fixed date and a footer.
    const auto withSlideId = [](quint32 persist, quint32 slideId) {
        return pptRecord(0, 0x03F3, le32(persist) + le32(0) + le32(0) + le32(slideId) + le32(0));
    };
    const auto cString = [](quint16 instance, const QString &text) {
        return pptRecord(quint16(instance << 4), 0x0FBA, utf16(text));
    };
    const auto textBox = [](const QByteArray &clientData, const QString &text) {
        return pptContainer(0xF004, clientData + pptContainer(0xF00D, textChars(text)));
    };
    const QByteArray shown =
        pptContainer(0x03E8, pptContainer(0x0FF0, withSlideId(3, 0x80000001), 1) +
                                 pptContainer(0x0FF0, withSlideId(2, 256)) +
                                 pptContainer(0x0FD9,
                                              pptRecord(0, 0x0FDA, le16(0) + le16(0x0025)) +
                                                  cString(0, QStringLiteral("fixed day")) +
                                                  cString(2, QStringLiteral("footer words")),
                                              3));
    // SlideAtom: geometry, placeholder types, the master's slide identifier, no notes, flags
    // (the slide shows the master's shapes).
    const QByteArray slide =
        pptContainer(0x03EE, pptRecord(0x0002, 0x03EF,
                                       le32(0) + QByteArray(8, '\0') + le32(0x80000001) + le32(0) +
                                           le16(1) + le16(0)) +
                                 pptContainer(0x040C, textChars(QStringLiteral("own"))));
    const QByteArray placeholder = pptContainer(0xF011, pptRecord(0, 0x0BC3, QByteArray(8, '\0')));
    const QByteArray master = pptContainer(
        0x03F8, pptContainer(0x040C, textBox(placeholder, QStringLiteral("Click to edit")) +
                                         textBox(QByteArray(), QStringLiteral("logo"))));
    const QByteArray persist = pptRecord(0, 0x1772,
                                         le32(3 << 20 | 1) + le32(0) + le32(shown.size()) +
                                             le32(shown.size() + slide.size()));
    const qsizetype persistAt = shown.size() + slide.size() + master.size();
    const QByteArray lastEdit = pptRecord(
        0, 0x0FF5, le32(0) + le32(0) + le32(0) + le32(persistAt) + le32(1) + le32(4) + le32(0));
    QTest::newRow("a slide shows its master's own shapes first, its fixed date and footer last")
        << shown + slide + master + persist + lastEdit
        << currentUser(0xE391C05F, persistAt + persist.size())
        << QStringLiteral("logo\nown\nfixed day\nfooter words\n") << Outcome::Done;

    // Persist identifiers 1, 2, 3: the document, a slide, its notes page. The document gives the
    // notes pages a header and a footer (HeadersFooters instance 4; the slides' own are not
    // theirs), which a reader sees on every printed notes page.
    const QByteArray withNotes =
        pptContainer(0x03E8, pptContainer(0x0FF0, withSlideId(2, 256)) +
                                 pptContainer(0x0FF0, withSlideId(3, 300), 2) +
                                 pptContainer(0x0FD9,
                                              pptRecord(0, 0x0FDA, le16(0) + le16(0x0020)) +
                                                  cString(2, QStringLiteral("slide footer")),
                                              3) +
                                 pptContainer(0x0FD9,
                                              pptRecord(0, 0x0FDA, le16(0) + le16(0x0030)) +
                                                  cString(1, QStringLiteral("notes header")) +
                                                  cString(2, QStringLiteral("notes footer")),
                                              4));
    const QByteArray slideWithNotes = pptContainer(
        0x03EE, pptRecord(0x0002, 0x03EF,
                          le32(0) + QByteArray(8, '\0') + le32(0) + le32(300) + le16(0) + le16(0)) +
                    pptContainer(0x040C, textChars(QStringLiteral("own"))));
    const QByteArray notes =
        pptContainer(0x03F0, pptContainer(0x040C, textChars(QStringLiteral("note words"))));
    const QByteArray notesPersist = pptRecord(0, 0x1772,
                                              le32(3 << 20 | 1) + le32(0) + le32(withNotes.size()) +
                                                  le32(withNotes.size() + slideWithNotes.size()));
    const qsizetype notesPersistAt = withNotes.size() + slideWithNotes.size() + notes.size();
    const QByteArray notesEdit =
        pptRecord(0, 0x0FF5,
                  le32(0) + le32(0) + le32(0) + le32(notesPersistAt) + le32(1) + le32(4) + le32(0));
    QTest::newRow("a notes page ends with the header and footer of the notes pages")
        << withNotes + slideWithNotes + notes + notesPersist + notesEdit
        << currentUser(0xE391C05F, notesPersistAt + notesPersist.size())
        << QStringLiteral("own\nslide footer\nnote words\nnotes header\nnotes footer\n")
        << Outcome::Done;
}

void TestDocumentText::powerPoint97Records()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, currentUser);
    QFETCH(QString, expected);
    QFETCH(Outcome, outcome);
    const QString path = m_dir->filePath(QStringLiteral("w.ppt"));
    QList<QPair<QByteArray, QByteArray>> streams{{"PowerPoint Document", stream}};
    if (!currentUser.isEmpty())
        streams.append({"Current User", currentUser});
    fixtures::writeCompoundFile(path, streams);
    QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::PowerPoint97);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.text, expected);
    QCOMPARE(extracted.outcome, outcome);
}

QTEST_GUILESS_MAIN(TestDocumentText)
#include "tst_document_text.moc"
