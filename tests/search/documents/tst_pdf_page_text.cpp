#include "document_fixtures.h"

#include "search/documents/pdf/pdf_page_text.h"
#include "search/documents/placed_text.h"
#include "support/test_files.h"

#include <poppler-qt6.h>

#include <QBuffer>
#include <QFileInfo>
#include <QTest>

namespace {

// A PDF file of one page per content stream: Helvetica, by default one resource dictionary for
// all pages (an object of its own), A4. A page's `ownResources` gives it a dictionary of its own,
// `media` another box.
struct PageSpec
{
    QByteArray content;
    bool ownResources = false;
    QByteArray media = "[0 0 595 842]";
};

QByteArray makePdf(const QList<PageSpec> &pages)
{
    QList<QByteArray> objects; // objects 1, 2, ... in order
    const QByteArray font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    QByteArray kids;
    const int firstPage = 4;
    for (int i = 0; i < pages.size(); ++i)
        kids += QByteArray::number(firstPage + 2 * i) + " 0 R ";
    objects << "<< /Type /Catalog /Pages 2 0 R >>"
            << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages.size()) +
                   " >>"
            << "<< /Font << /F1 " + font + " >> >>";
    for (int i = 0; i < pages.size(); ++i) {
        const PageSpec &page = pages.at(i);
        const QByteArray resources =
            page.ownResources ? "<< /Font << /F1 " + font + " >> >>" : QByteArray("3 0 R");
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox " + page.media + " /Resources " +
                       resources + " /Contents " + QByteArray::number(firstPage + 2 * i + 1) +
                       " 0 R >>"
                << "<< /Length " + QByteArray::number(page.content.size()) + " >>\nstream\n" +
                       page.content + "\nendstream";
    }
    QByteArray file = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << file.size();
        file += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = file.size();
    file += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        file += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    file += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
            " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return file;
}

QByteArray line(const QByteArray &words, int y = 700)
{
    return "BT /F1 12 Tf 72 " + QByteArray::number(y) + " Td (" + words + ") Tj ET\n";
}

// Each page's text as poppler gives it for the page displayed alone, read by the rules of placed
// glyphs.
QStringList popplerPages(const QByteArray &bytes)
{
    QStringList pages;
    const std::unique_ptr<Poppler::Document> pdf = Poppler::Document::loadFromData(bytes);
    for (int i = 0; pdf && !pdf->isLocked() && i < pdf->numPages(); ++i) {
        const std::unique_ptr<Poppler::Page> page = pdf->page(i);
        pages << (page ? documents::placedText(page->text(QRectF())) : QStringLiteral("<no page>"));
    }
    return pages;
}

QStringList ourPages(const QByteArray &bytes, const QList<int> &order)
{
    QByteArray copy = bytes;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    documents::PdfPageText texts(device);
    QStringList pages(texts.pages());
    for (const int index : order)
        pages[index] = texts.hasPage(index) ? texts.text(index) : QStringLiteral("<no page>");
    return pages;
}

QList<int> inOrder(int count)
{
    QList<int> order;
    for (int i = 0; i < count; ++i)
        order << i;
    return order;
}

} // namespace

// The page texts against poppler's text of each page displayed alone: pages laid out by one
// interpreter must give exactly that. And the rules by which the text of placed glyphs is read.
class TestPdfPageText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pagesAsPopplerGivesThem_data();
    void pagesAsPopplerGivesThem();
    void placedGlyphsReadAsAReaderSeesThem_data();
    void placedGlyphsReadAsAReaderSeesThem();
};

void TestPdfPageText::pagesAsPopplerGivesThem_data()
{
    QTest::addColumn<QByteArray>("pdf");
    QTest::addColumn<QList<int>>("order");
    QTest::addColumn<QString>("mustHold"); // a word some page must give, or empty

    // Every PDF fixture that can be opened without a password, and a long one of the benchmarks.
    QStringList files;
    for (const fixtures::DocumentFixture &fixture :
         fixtures::documentFixtures({fixtures::Family::Pdf})) {
        if (fixture.outcome != documents::Outcome::Encrypted)
            files.append(fixtures::documentPath(fixture));
    }
    files.append(fixtures::benchDocument(QStringLiteral("chinese15.pdf")));
    for (const QString &path : std::as_const(files)) {
        const QByteArray bytes = readAll(path);
        QTest::newRow(qPrintable(QFileInfo(path).fileName()))
            << bytes << inOrder(int(popplerPages(bytes).size())) << QString();
    }
    // Shapes that change: shared resources, another box, a dictionary of the page's own, back.
    QTest::newRow("pages of other shapes between shared ones")
        << makePdf({{line("One")},
                    {line("Two")},
                    {line("Three"), false, "[0 0 300 400]"},
                    {line("Four"), true},
                    {line("Five")}})
        << inOrder(5) << QStringLiteral("Four");
    QTest::newRow("pages asked out of order")
        << makePdf({{line("Alpha")}, {line("Beta")}, {line("Gamma")}, {line("Delta")}})
        << QList<int>{2, 3, 0, 1} << QStringLiteral("Gamma");
    QTest::newRow("a page without content between two with text")
        << makePdf({{line("Before")}, {QByteArray()}, {line("After")}}) << inOrder(3)
        << QStringLiteral("After");
}

void TestPdfPageText::pagesAsPopplerGivesThem()
{
    QFETCH(QByteArray, pdf);
    QFETCH(QList<int>, order);
    QFETCH(QString, mustHold);
    const QStringList expected = popplerPages(pdf);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(ourPages(pdf, order), expected);
    if (!mustHold.isEmpty())
        QVERIFY(expected.join(QString()).contains(mustHold));
}

void TestPdfPageText::placedGlyphsReadAsAReaderSeesThem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("spaces between CJK glyphs placed apart are no text")
        << QStringLiteral(u"中    国   移   动 ，公司") << QStringLiteral(u"中国移动，公司");
    QTest::newRow("Latin words and numbers keep their spaces, line ends stay")
        << QStringLiteral("Total  paid 2023 12\n x") << QStringLiteral("Total  paid 2023 12\n x");
    QTest::newRow("a digit beside a CJK character joins it, a Latin letter does not")
        << QStringLiteral(u"2025 年 10 月 IP 地址 /tmp")
        << QStringLiteral(u"2025年10月 IP 地址 /tmp");
    QTest::newRow("tabs, no-break and ideographic spaces between CJK characters go too")
        << QStringLiteral(u"金\t额\u00A0合\u3000计") << QStringLiteral(u"金额合计");
    QTest::newRow("a space at a line's end or start stays")
        << QStringLiteral(u"中 \n 国") << QStringLiteral(u"中 \n 国");
    QTest::newRow("ideographs beyond the basic plane join as well")
        << QStringLiteral(u"\U00020000 \U0002A6A5 x") << QStringLiteral(u"\U00020000\U0002A6A5 x");
    QTest::newRow("Kangxi radicals are the ideographs they look like")
        << QStringLiteral(u"电\u2F26 \u2F00\u2F64\u2FD5") << QStringLiteral(u"电子一用龠");
    QTest::newRow("whole-character radicals of the supplement are read as ideographs, "
                  "component shapes kept")
        << QStringLiteral(u"\u2ED4\u2ED3\u2E9F\u2EC5\u2EF3\u2E85\u2EA1")
        << QStringLiteral(u"门长母见龟\u2E85\u2EA1");
}

void TestPdfPageText::placedGlyphsReadAsAReaderSeesThem()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(documents::placedText(text), expected);
}

QTEST_GUILESS_MAIN(TestPdfPageText)
#include "tst_pdf_page_text.moc"
