#include "document_fixtures.h"

#include "search/documents/document_text.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using documents::Kind;
using documents::Outcome;
using fixtures::writeZip;

using Entries = QList<QPair<QByteArray, QByteArray>>;

Q_DECLARE_METATYPE(documents::Kind)
Q_DECLARE_METATYPE(documents::Outcome)

namespace {

const QByteArray kNamespace = "http://www.ofdspec.org/2016";

QByteArray ofdXml(const QByteArrayList &documentRoots, const QByteArray &ns = kNamespace)
{
    QByteArray bodies;
    for (const QByteArray &root : documentRoots)
        bodies += "<ofd:DocBody><ofd:DocInfo><ofd:Title>标题不是正文</ofd:Title></ofd:DocInfo>"
                  "<ofd:DocRoot>" +
                  root + "</ofd:DocRoot></ofd:DocBody>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ofd:OFD xmlns:ofd=\"" + ns +
           "\" Version=\"1.1\" DocType=\"OFD\">" + bodies + "</ofd:OFD>";
}

// Document.xml: `common` inside CommonData, the pages (ID, BaseLoc) in order, `rest` after them.
QByteArray documentXml(const QList<QPair<QByteArray, QByteArray>> &pages,
                       const QByteArray &common = QByteArray(),
                       const QByteArray &rest = QByteArray())
{
    QByteArray list;
    for (const auto &[id, location] : pages)
        list += "<ofd:Page ID=\"" + id + "\" BaseLoc=\"" + location + "\"/>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ofd:Document xmlns:ofd=\"" + kNamespace +
           "\"><ofd:CommonData><ofd:MaxUnitID>9</ofd:MaxUnitID>" + common +
           "</ofd:CommonData><ofd:Pages>" + list + "</ofd:Pages>" + rest + "</ofd:Document>";
}

// A page (or template page) whose content is `content`; `head` goes before the Content element.
QByteArray pageXml(const QByteArray &content, const QByteArray &head = QByteArray(),
                   const QByteArray &root = "Page")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ofd:" + root + " xmlns:ofd=\"" + kNamespace +
           "\">" + head + "<ofd:Content><ofd:Layer ID=\"2\">" + content +
           "</ofd:Layer></ofd:Content></ofd:" + root + ">";
}

QByteArray textObject(const QByteArrayList &codes)
{
    QByteArray object = "<ofd:TextObject ID=\"3\" Boundary=\"0 0 50 5\" Font=\"1\" Size=\"3\">"
                        "<ofd:FillColor Value=\"0 0 0\"/>";
    for (const QByteArray &code : codes)
        object += "<ofd:TextCode X=\"0\" Y=\"3\" DeltaX=\"3 3\">" + code + "</ofd:TextCode>";
    return object + "</ofd:TextObject>";
}

QByteArray textObject(const QByteArray &code)
{
    return textObject(QByteArrayList{code});
}

// Letters that do not compress much, so that no inflate limit is what stops a long run.
QByteArray letters(qsizetype size)
{
    QByteArray text(size, Qt::Uninitialized);
    quint32 state = 1;
    for (char &c : text) {
        state = state * 1103515245 + 12345;
        c = char('a' + (state >> 16) % 26);
    }
    return text;
}

const QByteArray kImage = "<ofd:ImageObject ID=\"5\" Boundary=\"0 0 210 297\" ResourceID=\"6\"/>";

QByteArray annotationFile(const QByteArray &objects)
{
    return "<?xml version=\"1.0\"?><ofd:PageAnnot xmlns:ofd=\"" + kNamespace +
           "\"><ofd:Annot ID=\"7\" Type=\"Stamp\"><ofd:Remark>备注不是正文</ofd:Remark>"
           "<ofd:Appearance Boundary=\"0 0 50 20\">" +
           objects + "</ofd:Appearance></ofd:Annot></ofd:PageAnnot>";
}

struct Extracted
{
    Kind kind;
    Outcome outcome;
    QString text;
};

Extracted extract(const QString &path)
{
    Extracted result{documents::recognise(path, fixtures::head(path)), Outcome::Done, QString()};
    result.outcome = documents::extractText(path, result.kind, [&](QStringView piece) {
        result.text += piece;
        return true;
    });
    return result;
}

} // namespace

class TestOfdText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void realFilesGiveTheWordsAReaderSees_data();
    void realFilesGiveTheWordsAReaderSees();
    void packageText_data();
    void packageText();
    void otherPackagesAreNoOfd();
    void truncatedPackageIsDamaged_data();
    void truncatedPackageIsDamaged();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestOfdText::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestOfdText::realFilesGiveTheWordsAReaderSees_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("words");

    for (const fixtures::DocumentFixture &fixture :
         fixtures::documentFixtures({fixtures::Family::Ofd}))
        QTest::addRow("%s", qPrintable(fixture.about))
            << fixtures::documentPath(fixture) << fixture.words;
}

void TestOfdText::realFilesGiveTheWordsAReaderSees()
{
    QFETCH(QString, path);
    QFETCH(QStringList, words);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.kind, Kind::Ofd);
    QCOMPARE(extracted.outcome, Outcome::Done);
    const QString text = fixtures::searchText(extracted.text);
    for (const QString &word : words)
        QVERIFY2(text.contains(word), qPrintable(word + u" not in " + extracted.text));
}

void TestOfdText::packageText_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<Outcome>("outcome");

    const QByteArray doc = "Doc_0/Document.xml";
    QTest::newRow("pages in the order of the list, TextCodes of one object joined, XML layout out")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {"Doc_0/Pages/Page_0/Content.xml",
                    pageXml(textObject({"批量", "查\n\t找"}) + "<ofd:PathObject ID=\"4\"/>" +
                            textObject("a &amp; b"))},
                   {"Doc_0/Pages/Page_1/Content.xml", pageXml(textObject("<![CDATA[第一页]]>"))},
                   {doc, documentXml({{"1", "Pages/Page_1/Content.xml"},
                                      {"2", "Pages/Page_0/Content.xml"}})}}
        << QStringLiteral(u"第一页\n批量查找\na & b\n") << Outcome::Done;

    QTest::newRow("spaces between placed CJK glyphs and digits out, Latin words' kept, radicals "
                  "as ideographs")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "Pages/P.xml"}})},
                   {"Doc_0/Pages/P.xml",
                    pageXml(textObject({"金 ", " 额", "  2025 年"}) + textObject("中") +
                            textObject("电\u2F26 \u2ED4户") + textObject("IP 地址 Total paid"))}}
        << QStringLiteral(u"金额2025年\n中\n电子门户\nIP 地址 Total paid\n") << Outcome::Done;

    // The goods list of an invoice's second page drawn as a composite object; its unit names
    // another unit, and a third unit draws itself (once).
    const QByteArray units =
        "<?xml version=\"1.0\"?><ofd:Res xmlns:ofd=\"" + kNamespace +
        "\" BaseLoc=\"Res\"><ofd:CompositeGraphicUnits>"
        "<ofd:CompositeGraphicUnit ID=\"20\" Width=\"9\" Height=\"9\"><ofd:Content>" +
        textObject("货物清单") +
        "<ofd:CompositeObject ID=\"5\" ResourceID=\"21\"/></ofd:Content>"
        "</ofd:CompositeGraphicUnit><ofd:CompositeGraphicUnit ID=\"21\"><ofd:Content>" +
        textObject("芯片") +
        "</ofd:Content></ofd:CompositeGraphicUnit><ofd:CompositeGraphicUnit ID=\"22\">"
        "<ofd:Content>" +
        textObject("环") +
        "<ofd:CompositeObject ID=\"6\" ResourceID=\"22\"/></ofd:Content>"
        "</ofd:CompositeGraphicUnit></ofd:CompositeGraphicUnits></ofd:Res>";
    QTest::newRow("text drawn by composite objects from the resources, where they are drawn")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "Pages/P0.xml"}, {"2", "Pages/P1.xml"}},
                                     "<ofd:PublicRes>PublicRes.xml</ofd:PublicRes>")},
                   {"Doc_0/PublicRes.xml", units},
                   {"Doc_0/Pages/P0.xml", pageXml(textObject("发票"))},
                   {"Doc_0/Pages/P1.xml",
                    pageXml(
                        textObject("第二页") + "<ofd:CompositeObject ID=\"4\" ResourceID=\"20\"/>" +
                        textObject("合计") + "<ofd:CompositeObject ID=\"7\" ResourceID=\"22\"/>")}}
        << QStringLiteral(u"发票\n第二页\n货物清单\n芯片\n合计\n环\n") << Outcome::Done;

    QTest::newRow("several documents in order, each from its own folder")
        << Entries{{"OFD.xml", ofdXml({"Doc_1/Document.xml", "/Doc_0/Document.xml"})},
                   {"Doc_0/Document.xml", documentXml({{"1", "Pages/P.xml"}})},
                   {"Doc_0/Pages/P.xml", pageXml(textObject("零"))},
                   {"Doc_1/Document.xml", documentXml({{"1", "Pages/P.xml"}})},
                   {"Doc_1/Pages/P.xml", pageXml(textObject("一"))}}
        << QStringLiteral(u"一\n零\n") << Outcome::Done;

    QTest::newRow("absolute, backslashed, dotted, odd-cased and root-relative paths")
        << Entries{{"OFD.xml", ofdXml({"\\DOC_0\\.\\document.XML"})},
                   {doc, documentXml({{"1", "/Doc_0/Pages/A.xml"},
                                      {"2", "Pages\\Sub\\..\\b.XML"},
                                      {"3", "pages/c.xml"},
                                      {"4", "Doc_0/Pages/D.xml"}})},
                   {"Doc_0/Pages/A.xml", pageXml(textObject("甲"))},
                   {"Doc_0/Pages/B.xml", pageXml(textObject("乙"))},
                   {"Doc_0\\Pages\\C.xml", pageXml(textObject("丙"))},
                   {"Doc_0/Pages/D.xml", pageXml(textObject("丁"))}}
        << QStringLiteral(u"甲\n乙\n丙\n丁\n") << Outcome::Done;

    // T1 is Background by default, T2 Foreground by its own ZOrder, T3 Foreground but drawn
    // behind by the page, T4 Body (behind, after the backgrounds); T9 is not in CommonData.
    const QByteArray templates =
        "<ofd:TemplatePage ID=\"11\" BaseLoc=\"Tpls/T1.xml\"/>"
        "<ofd:TemplatePage ID=\"12\" BaseLoc=\"Tpls/T2.xml\" ZOrder=\"Foreground\"/>"
        "<ofd:TemplatePage ID=\"13\" BaseLoc=\"/Doc_0/Tpls/T3.xml\" ZOrder=\"Foreground\"/>"
        "<ofd:TemplatePage ID=\"14\" BaseLoc=\"Tpls/T4.xml\" ZOrder=\"Body\"/>";
    const QByteArray uses = "<ofd:Template TemplateID=\"12\"/><ofd:Template TemplateID=\"14\"/>"
                            "<ofd:Template TemplateID=\"11\"/><ofd:Template TemplateID=\"9\"/>"
                            "<ofd:Template TemplateID=\"13\" ZOrder=\"Background\"/>";
    const QByteArray annotations =
        "<?xml version=\"1.0\"?><ofd:Annotations xmlns:ofd=\"" + kNamespace +
        "\"><ofd:Page PageID=\"1\"><ofd:FileLoc>Page_0/Annot.xml</ofd:FileLoc></ofd:Page>"
        "<ofd:Page PageID=\"2\"><ofd:FileLoc>/Doc_0/Annots/Page_1/Annot.xml</ofd:FileLoc>"
        "</ofd:Page></ofd:Annotations>";
    QTest::newRow("template pages behind and in front of the page, then its annotations")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "Pages/P0.xml"}, {"2", "Pages/P1.xml"}}, templates,
                                     "<ofd:Annotations>Annots/Annotations.xml</ofd:Annotations>")},
                   {"Doc_0/Tpls/T1.xml", pageXml(textObject("背景一"), uses)},
                   {"Doc_0/Tpls/T2.xml", pageXml(textObject("前景"))},
                   {"Doc_0/Tpls/T3.xml", pageXml(textObject("背景三"))},
                   {"Doc_0/Tpls/T4.xml", pageXml(textObject("正文层"))},
                   {"Doc_0/Pages/P0.xml", pageXml(textObject("页一"), uses)},
                   {"Doc_0/Pages/P1.xml", pageXml(textObject("页二"))},
                   {"Doc_0/Annots/Annotations.xml", annotations},
                   {"Doc_0/Annots/Page_0/Annot.xml", annotationFile(textObject("批注一"))},
                   {"Doc_0/Annots/Page_1/Annot.xml", annotationFile(textObject("批注二"))}}
        << QStringLiteral(u"背景一\n背景三\n正文层\n页一\n前景\n批注一\n页二\n批注二\n")
        << Outcome::Done;

    QTest::newRow("pages of images only, no text object anywhere: a scan")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "Pages/P0.xml"}, {"2", "Pages/P1.xml"}})},
                   {"Doc_0/Pages/P0.xml", pageXml(kImage)},
                   {"Doc_0/Pages/P1.xml", pageXml(kImage + kImage)},
                   {"Doc_0/Res/scan.png", "\x89PNG"}}
        << QString() << Outcome::NoText;
    QTest::newRow("an image beside a text object is no scan")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "Pages/P0.xml"}})},
                   {"Doc_0/Pages/P0.xml", pageXml(kImage + textObject(""))}}
        << QStringLiteral("\n") << Outcome::Done;
    QTest::newRow("the OFD namespace of 2012")
        << Entries{{"OFD.xml", ofdXml({doc}, "http://www.ofdspec.org")},
                   {doc, documentXml({{"1", "P.xml"}})},
                   {"Doc_0/P.xml", pageXml(textObject("旧"))}}
        << QStringLiteral(u"旧\n") << Outcome::Done;

    QTest::newRow("encrypted parts listed in Encryptions.xml")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {"Encryptions.xml", "<Encryptions><EncryptInfo ID=\"1\"/></Encryptions>"},
                   {doc, documentXml({{"1", "P.xml"}})},
                   {"Doc_0/P.xml", "\x13\xA7\x01 ciphertext"}}
        << QString() << Outcome::Encrypted;
    QTest::newRow("a missing page is damage, after the pages before it")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "P.xml"}, {"2", "Gone.xml"}})},
                   {"Doc_0/P.xml", pageXml(textObject("有"))}}
        << QStringLiteral(u"有\n") << Outcome::Damaged;
    QTest::newRow("a page that is not well formed is damage")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "P.xml"}})},
                   {"Doc_0/P.xml", pageXml(textObject("有")).chopped(5)}}
        << QStringLiteral(u"有\n") << Outcome::Damaged;
    QTest::newRow("a template page that is not well formed is damage")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "P.xml"}},
                                     "<ofd:TemplatePage ID=\"11\" BaseLoc=\"T.xml\"/>")},
                   {"Doc_0/T.xml", "<ofd:Page"},
                   {"Doc_0/P.xml", pageXml(textObject("有"), uses)}}
        << QString() << Outcome::Damaged;
    const QByteArray longText = letters(3 << 20);
    QTest::newRow("a long text code, over many inflated blocks")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "P.xml"}})},
                   {"Doc_0/P.xml", pageXml(textObject(longText))}}
        << QString::fromLatin1(longText + "\n") << Outcome::Done;
    // Past what the XML reader would hold as one text node: it comes in pieces all the same.
    const QByteArray runOn = letters(17 << 20);
    QTest::newRow("a run without markup of 17 MiB")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "P.xml"}})},
                   {"Doc_0/P.xml", pageXml(textObject(runOn))}}
        << QString::fromLatin1(runOn + "\n") << Outcome::Done;
    // Scanned pages: the page's image, found through its resource, read by recognition.
    const auto picture = [](const char *name) {
        return readAll(fixtures::document(QStringLiteral("ocr/") + QLatin1StringView(name)));
    };
    const QByteArray resources = "<ofd:DocumentRes>DocumentRes.xml</ofd:DocumentRes>";
    const QByteArray resourceXml =
        "<?xml version=\"1.0\"?><ofd:Res xmlns:ofd=\"" + kNamespace +
        "\" BaseLoc=\"Res\"><ofd:MultiMedias><ofd:MultiMedia ID=\"6\" Type=\"Image\">"
        "<ofd:MediaFile>scan_6.png</ofd:MediaFile></ofd:MultiMedia></ofd:MultiMedias></ofd:Res>";
    QTest::newRow("a text page, then a scanned page read by recognition")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "Pages/P0.xml"}, {"2", "Pages/P1.xml"}}, resources)},
                   {"Doc_0/Pages/P0.xml", pageXml(textObject("页一"))},
                   {"Doc_0/Pages/P1.xml", pageXml(kImage)},
                   {"Doc_0/DocumentRes.xml", resourceXml},
                   {"Doc_0/Res/scan_6.png", picture("lines.png")}}
        << QStringLiteral(u"页一\n采购合同第十二条\n违约金按日计算\nInvoice Number 2024\n")
        << Outcome::Done;
    QTest::newRow("a scan in which recognition reads nothing")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "Pages/P0.xml"}}, resources)},
                   {"Doc_0/Pages/P0.xml", pageXml(kImage)},
                   {"Doc_0/DocumentRes.xml", resourceXml},
                   {"Doc_0/Res/scan_6.png", picture("blank.png")}}
        << QString() << Outcome::NoText;
    QTest::newRow("an image beside text on its page is not recognised")
        << Entries{{"OFD.xml", ofdXml({doc})},
                   {doc, documentXml({{"1", "Pages/P0.xml"}}, resources)},
                   {"Doc_0/Pages/P0.xml", pageXml(kImage + textObject("印章"))},
                   {"Doc_0/DocumentRes.xml", resourceXml},
                   {"Doc_0/Res/scan_6.png", picture("lines.png")}}
        << QStringLiteral(u"印章\n") << Outcome::Done;
    QTest::newRow("a document root that is not there is damage")
        << Entries{{"OFD.xml", ofdXml({"Doc_9/Document.xml"})}} << QString() << Outcome::Damaged;
}

void TestOfdText::packageText()
{
    QFETCH(Entries, entries);
    QFETCH(QString, expected);
    QFETCH(Outcome, outcome);
    const QString path = m_dir->filePath(QStringLiteral("f.ofd"));
    writeZip(path, entries);
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.kind, Kind::Ofd);
    QCOMPARE(extracted.text, expected);
    QCOMPARE(extracted.outcome, outcome);
}

void TestOfdText::otherPackagesAreNoOfd()
{
    // Named OFD.xml, but with another root: not an OFD file.
    for (const QByteArray &content :
         {QByteArray("<?xml version=\"1.0\"?><OFD><DocBody/></OFD>"),
          QByteArray("<?xml version=\"1.0\"?><ofd:Document xmlns:ofd=\"" + kNamespace + "\"/>"),
          QByteArray("not XML")}) {
        const QString path = m_dir->filePath(QStringLiteral("other.ofd"));
        writeZip(path, {{"OFD.xml", content}});
        QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::NotDocument);
    }
}

void TestOfdText::truncatedPackageIsDamaged_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("OFD.xml first") << QStringLiteral("ofdrw_z_suwell.ofd");
    QTest::newRow("OFD.xml last") << QStringLiteral("ofdrw_n_iofd.ofd");
}

void TestOfdText::truncatedPackageIsDamaged()
{
    QFETCH(QString, name);
    const QString whole = fixtures::document(QStringLiteral("ofd/") + name);
    QFile file(whole);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString path = m_dir->filePath(QStringLiteral("cut.ofd"));
    QFile cut(path);
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.first(bytes.size() / 2));
    cut.close();
    const Extracted extracted = extract(path);
    QCOMPARE(extracted.kind, Kind::Ofd);
    QCOMPARE(extracted.outcome, Outcome::Damaged);
}

QTEST_GUILESS_MAIN(TestOfdText)
#include "tst_ofd_text.moc"
