#include "document_fixtures.h"

#include "search/documents/document_text.h"
#include "search/documents/zip_package.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using documents::Kind;
using documents::Outcome;
using fixtures::document;
using fixtures::kWordContentTypes;
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

QString readUtf8(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read a fixture");
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF))) // the export starts with a byte order mark
        text.remove(0, 1);
    return text;
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
    void exactText_data();
    void exactText();
    void textMatchesTheOfficeSuitesExport_data();
    void textMatchesTheOfficeSuitesExport();
    void pdfSearchTextMatchesTheExport();
    void wordMarkup_data();
    void wordMarkup();
    void spreadsheetRepeats_data();
    void spreadsheetRepeats();
    void readingStopsWhenTheCallerHasItsAnswer();
    void stopFlagEndsTheExtraction();
    void zipBombStopsInflating();

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

void TestDocumentText::recognisedByContent_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Kind>("kind");

    QTest::newRow("a Word file is Office Open XML") << document("runs.docx") << Kind::OfficeOpenXml;
    QTest::newRow("an Excel file is Office Open XML")
        << document("sheets.xlsx") << Kind::OfficeOpenXml;
    QTest::newRow("a PowerPoint file is Office Open XML")
        << document("slides.pptx") << Kind::OfficeOpenXml;
    QTest::newRow("a Writer file is OpenDocument") << document("runs.odt") << Kind::OpenDocument;
    QTest::newRow("a Calc file is OpenDocument") << document("sheets.ods") << Kind::OpenDocument;
    QTest::newRow("an Impress file is OpenDocument")
        << document("slides.odp") << Kind::OpenDocument;
    QTest::newRow("a PDF file is PDF") << document("pages.pdf") << Kind::Pdf;
    QTest::newRow("a Word file saved with a password is an encrypted package")
        << document("encrypted.docx") << Kind::EncryptedPackage;
    QTest::newRow("a truncated Word file is still recognised as one")
        << document("truncated.docx") << Kind::OfficeOpenXml;
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
    const QString odfLike =
        write(QStringLiteral("book.epub"), {{"mimetype", "application/epub+zip"}});
    QCOMPARE(documents::recognise(odfLike, fixtures::head(odfLike)), Kind::NotDocument);
}

void TestDocumentText::keywordIsInTheSearchText_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("keyword");

    const QString chinese = QStringLiteral(u"批量查找");
    QTest::newRow("a keyword split over two formatting runs of a Word file")
        << document("runs.docx") << chinese;
    QTest::newRow("an ASCII keyword split over two formatting runs of a Word file")
        << document("runs.docx") << QStringLiteral("NeedleWord");
    QTest::newRow("a keyword split over two spans of a Writer file")
        << document("runs.odt") << chinese;
    QTest::newRow("an ASCII keyword split over two spans of a Writer file")
        << document("runs.odt") << QStringLiteral("NeedleWord");
    QTest::newRow("a keyword in a table cell of a Word file") << document("table.docx") << chinese;
    QTest::newRow("a keyword in a table cell of a Writer file") << document("table.odt") << chinese;
    QTest::newRow("a keyword in the header of a Word file")
        << document("header.docx") << QStringLiteral("HeaderWord");
    QTest::newRow("a keyword in the footer of a Word file")
        << document("header.docx") << QStringLiteral("FooterWord");
    QTest::newRow("a keyword in the header of a Writer file")
        << document("header.odt") << QStringLiteral("HeaderWord");
    QTest::newRow("a keyword in a cell of the second sheet of an Excel file")
        << document("sheets.xlsx") << QStringLiteral("NeedleCell");
    QTest::newRow("a keyword in a cell of the second sheet of a Calc file")
        << document("sheets.ods") << QStringLiteral("NeedleCell");
    QTest::newRow("a keyword over two paragraphs of a PowerPoint slide")
        << document("slides.pptx") << chinese;
    QTest::newRow("a keyword over two paragraphs of an Impress slide")
        << document("slides.odp") << chinese;
    QTest::newRow("a keyword in the notes of a PowerPoint slide")
        << document("slides.pptx") << QStringLiteral("NotesWord");
    QTest::newRow("a keyword on the third page of a PDF file") << document("pages.pdf") << chinese;
    QTest::newRow("an ASCII keyword on the third page of a PDF file")
        << document("pages.pdf") << QStringLiteral("ThirdPageWord");
}

void TestDocumentText::keywordIsInTheSearchText()
{
    QFETCH(QString, path);
    QFETCH(QString, keyword);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.outcome, Outcome::Done);
    QVERIFY2(fixtures::searchText(extracted.text).contains(keyword), qPrintable(extracted.text));
}

void TestDocumentText::unreadableDocumentsAreNamed_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Outcome>("outcome");

    QTest::newRow("a Word file saved with a password is encrypted")
        << document("encrypted.docx") << Outcome::Encrypted;
    QTest::newRow("a Writer file saved with a password is encrypted")
        << document("encrypted.odt") << Outcome::Encrypted;
    QTest::newRow("a PDF file with a user password is encrypted")
        << document("encrypted.pdf") << Outcome::Encrypted;
    QTest::newRow("a Word file cut in half is damaged")
        << document("truncated.docx") << Outcome::Damaged;
    QTest::newRow("a ZIP bomb named .docx is damaged") << document("bomb.docx") << Outcome::Damaged;
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
    const QString slides = QStringLiteral(u"第一页标题\n批量\n查找\nSecond slide: NeedleSlide\n"
                                          u"备注：NotesWord\n");
    QTest::newRow("PowerPoint paragraphs are lines, slides in order, then the notes")
        << document("slides.pptx") << slides;
    QTest::newRow("Impress paragraphs are lines, pages in order, then the notes")
        << document("slides.odp") << slides;
    const QString header = QStringLiteral(u"正文只有这一段。\n页眉：批量查找 HeaderWord\n"
                                          u"页脚 FooterWord\n");
    QTest::newRow("a Word file's headers and footers follow its body")
        << document("header.docx") << header;
    QTest::newRow("a Writer file's headers and footers follow its body")
        << document("header.odt") << header;
}

void TestDocumentText::exactText()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.outcome, Outcome::Done);
    QCOMPARE(extracted.text, text);
}

void TestDocumentText::textMatchesTheOfficeSuitesExport_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("exports");

    const auto exportOf = [](const char *name) {
        return QStringList{document(QLatin1String(name))};
    };
    QTest::newRow("a Word file with formatting runs, a tab and a run of spaces")
        << document("runs.docx") << exportOf("runs.export.txt");
    QTest::newRow("a Writer file with formatting runs, a tab and a run of spaces")
        << document("runs.odt") << exportOf("runs.export.txt");
    QTest::newRow("a Word file with a list and a table")
        << document("table.docx") << exportOf("table.export.txt");
    QTest::newRow("a Writer file with a list and a table")
        << document("table.odt") << exportOf("table.export.txt");
    QTest::newRow("a Word file with a header, whose export leaves the header out")
        << document("header.docx") << exportOf("header.export.txt");
    QTest::newRow("a Writer file with a header, whose export leaves the header out")
        << document("header.odt") << exportOf("header.export.txt");
    const QStringList sheets{document(QStringLiteral("sheets-Summary.export.csv")),
                             document(QStringLiteral("sheets-Data.export.csv"))};
    QTest::newRow("an Excel file against the CSV export of each sheet")
        << document("sheets.xlsx") << sheets;
    QTest::newRow("a Calc file against the CSV export of each sheet")
        << document("sheets.ods") << sheets;
}

// The differential check: the extracted text against what the office suite itself exports. Two
// differences are by design and taken out of the export before comparing: the text export writes
// a list item's label ("• ", "1. ") in front of it, which is generated by the list style and is
// not document text; and it leaves out headers and footers, which the extracted text has after the
// body (so the export must be the first lines of the extracted text).
void TestDocumentText::textMatchesTheOfficeSuitesExport()
{
    QFETCH(QString, path);
    QFETCH(QStringList, exports);
    QString expected;
    for (const QString &file : exports)
        expected += readUtf8(file);
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
    const std::atomic<bool> stop{true};
    int calls = 0;
    const Outcome outcome = documents::extractText(
        document(QStringLiteral("pages.pdf")), Kind::Pdf, [&](QStringView) { return ++calls > 0; },
        &stop);
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

QTEST_GUILESS_MAIN(TestDocumentText)
#include "tst_document_text.moc"
