// Documents built to exhaust memory (ZIP bombs, one enormous text run or cell) and documents that
// are merely large: the first are named damaged, the second read whole, both in bounded memory.
// The memory is what the extraction allocates on the heap, counted by the sanitizer's allocation
// hooks: exact, and the same on every run.

#include "document_fixtures.h"

#include "search/documents/document_text.h"
#include "search/documents/text_sink.h"
#include "search/documents/xml_feed.h"
#include "search/documents/zip_package.h"

#include <QXmlStreamReader>

#include <QTemporaryDir>
#include <QTest>

#include <atomic>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARLEX_HEAP_HOOKS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QUARLEX_HEAP_HOOKS 1
#endif
#ifdef QUARLEX_HEAP_HOOKS
// The sanitizer runtime's allocator interface (gcc installs no header for it).
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *, size_t),
                                              void (*free_hook)(const volatile void *));
size_t __sanitizer_get_allocated_size(const volatile void *p);
}
#endif

using documents::Kind;
using documents::Outcome;
using fixtures::kWordContentTypes;
using fixtures::wordDocument;

Q_DECLARE_METATYPE(documents::Outcome)

namespace {

// The heap in use, and the most of it in use since reset().
std::atomic<qint64> g_inUse{0};
std::atomic<qint64> g_peak{0};

#ifdef QUARLEX_HEAP_HOOKS
void onMalloc(const volatile void *, size_t size)
{
    const qint64 now = g_inUse.fetch_add(qint64(size)) + qint64(size);
    qint64 peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}
void onFree(const volatile void *p)
{
    g_inUse.fetch_sub(qint64(__sanitizer_get_allocated_size(p)));
}
#endif

bool installHooks()
{
#ifdef QUARLEX_HEAP_HOOKS
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
    return installed;
#else
    return false;
#endif
}

// The heap the extraction held at most above what was in use when it started.
qint64 peakAbove(qint64 start)
{
    return g_peak.load() - start;
}

qint64 resetPeak()
{
    const qint64 now = g_inUse.load();
    g_peak = now;
    return now;
}

// `count` bytes of lower-case words from a fixed seed: text that deflates about 2 to 1.
QByteArray words(qsizetype count)
{
    QByteArray text;
    text.reserve(count);
    quint32 state = 20261209;
    while (text.size() < count) {
        state = state * 1103515245 + 12345;
        const int length = 2 + int(state >> 28) % 8;
        for (int i = 0; i < length && text.size() < count; ++i) {
            state = state * 1103515245 + 12345;
            text.append(char('a' + (state >> 24) % 26));
        }
        if (text.size() < count)
            text.append(' ');
    }
    return text;
}

// Sets the uncompressed size of `name` in its local header and in the central directory of the
// ZIP archive at `path` to `size`: a bomb that hides how large it inflates.
void hideSize(const QString &path, const QByteArray &name, quint32 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const auto u16 = [&](qsizetype at) {
        return qsizetype(uchar(bytes[at]) | uchar(bytes[at + 1]) << 8);
    };
    const QByteArray sizeBytes = fixtures::le32(size);
    int patched = 0;
    for (const auto &[signature, nameAt, lengthAt, sizeAt] :
         {std::tuple{QByteArray("PK\x03\x04", 4), 30, 26, 22},
          std::tuple{QByteArray("PK\x01\x02", 4), 46, 28, 24}}) {
        for (qsizetype at = bytes.indexOf(signature); at >= 0;
             at = bytes.indexOf(signature, at + 4)) {
            if (bytes.mid(at + nameAt, u16(at + lengthAt)) == name) {
                bytes.replace(at + sizeAt, 4, sizeBytes);
                ++patched;
            }
        }
    }
    QCOMPARE(patched, 2);
    QVERIFY(file.seek(0));
    QCOMPARE(file.write(bytes), bytes.size());
}

const QByteArray kOdfNamespaces =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\"";

using Entries = QList<QPair<QByteArray, QByteArray>>;

Entries wordPackage(const QByteArray &body)
{
    return {{"[Content_Types].xml", kWordContentTypes}, {"word/document.xml", wordDocument(body)}};
}

Entries openDocument(const QByteArray &mimetype, const QByteArray &body)
{
    return {{"mimetype", mimetype},
            {"content.xml", "<?xml version=\"1.0\"?><office:document-content " + kOdfNamespaces +
                                "><office:body>" + body +
                                "</office:body></office:document-content>"}};
}

Entries workbook(const QByteArray &row)
{
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    return {
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"},
        {"xl/workbook.xml",
         "<workbook " + ns +
             " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
             "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
         "2006/relationships/worksheet\" Target=\"sheet1.xml\"/></Relationships>"},
        {"xl/sheet1.xml", "<worksheet " + ns + "><sheetData><row r=\"1\">" + row +
                              "</row></sheetData></worksheet>"}};
}

// A Word document with `count` headers, each `size` bytes of one letter: every part under the
// limit of one entry, all of them together a bomb.
Entries manyHeaders(int count, qsizetype size)
{
    Entries entries = wordPackage("<w:p><w:r><w:t>body</w:t></w:r></w:p>");
    QByteArray relationships =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const QByteArray run(size, 'A');
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        relationships += "<Relationship Id=\"rId" + n +
                         "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                         "relationships/header\" Target=\"header" +
                         n + ".xml\"/>";
        entries.append({"word/header" + n + ".xml",
                        "<w:hdr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/"
                        "main\"><w:p><w:r><w:t>" +
                            run + "</w:t></w:r></w:p></w:hdr>"});
    }
    entries.append({"word/_rels/document.xml.rels", relationships + "</Relationships>"});
    return entries;
}

// What an extraction gave: its outcome, the largest piece, and whether the pieces, end to end,
// were `expected` (compared as they come, so that the test holds no copy of the text).
struct Run
{
    Outcome outcome = Outcome::Done;
    qsizetype largestPiece = 0;
    bool asExpected = true;
    qsizetype length = 0;
    qint64 peakHeap = 0;
};

Run extractMeasured(const QString &path, QStringView expected)
{
    Run run;
    const Kind kind = documents::recognise(path, fixtures::head(path));
    const qint64 start = resetPeak();
    run.outcome = documents::extractText(path, kind, [&](QStringView piece) {
        run.largestPiece = std::max(run.largestPiece, piece.size());
        if (run.asExpected && expected.mid(run.length, piece.size()) != piece)
            run.asExpected = false;
        run.length += piece.size();
        return true;
    });
    run.peakHeap = peakAbove(start);
    return run;
}

// The most heap an extraction may hold: the package read into memory when small (up to 1 MiB),
// the inflate block, the XML reader's buffers around one piece of text.
constexpr qint64 kHeapBound = qint64(4) << 20;

// The text of an XML document as the reader reports it, and its longest text token; fed whole, or
// through XmlFeed in blocks of `block` bytes.
struct XmlText
{
    QString text;
    qsizetype longest = 0;
    bool wellFormed = false;
    bool fed = true;
};

XmlText readXml(const QByteArray &document, qsizetype block)
{
    XmlText result;
    QXmlStreamReader reader;
    documents::XmlFeed feed;
    const auto drain = [&] {
        while (!reader.atEnd()) {
            const QXmlStreamReader::TokenType token = reader.readNext();
            if (token == QXmlStreamReader::Characters) {
                result.text += reader.text();
                result.longest = std::max(result.longest, reader.text().size());
            } else if (token == QXmlStreamReader::Invalid) {
                return;
            }
        }
    };
    for (qsizetype at = 0; at < document.size(); at += block) {
        const QByteArrayView part =
            QByteArrayView(document).sliced(at, std::min(block, document.size() - at));
        if (block >= document.size()) {
            reader.addData(part.toByteArray());
        } else {
            QByteArray out;
            if (!feed.feed(part, out)) {
                result.fed = false;
                return result;
            }
            reader.addData(out);
        }
        drain();
    }
    result.wellFormed = reader.atEnd() && !reader.hasError();
    return result;
}

} // namespace

class TestDocumentBombs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void bombsAreDamagedInBoundedMemory_data();
    void bombsAreDamagedInBoundedMemory();
    void hugeTextIsReadWholeInPieces_data();
    void hugeTextIsReadWholeInPieces();
    void xmlTextReachesTheReaderInPieces_data();
    void xmlTextReachesTheReaderInPieces();

private:
    QString write(const QString &name, const Entries &entries);
    QTemporaryDir m_dir;
};

void TestDocumentBombs::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (!installHooks())
        QSKIP("the heap is measured through the address sanitizer's hooks (QUARLEX_SANITIZE=ON)");
}

QString TestDocumentBombs::write(const QString &name, const Entries &entries)
{
    const QString path = m_dir.filePath(name);
    fixtures::writeZip(path, entries);
    return path;
}

void TestDocumentBombs::bombsAreDamagedInBoundedMemory_data()
{
    QTest::addColumn<QString>("path");
    // The entry whose size is hidden; empty when the archive tells it.
    QTest::addColumn<QByteArray>("hidden");

    constexpr qsizetype kBomb = qsizetype(16) << 20;
    const QByteArray run(kBomb, 'A');
    QTest::newRow("a Word run that inflates a thousand times and says so")
        << write(QStringLiteral("ratio.docx"),
                 wordPackage("<w:p><w:r><w:t>" + run + "</w:t></w:r></w:p>"))
        << QByteArray();
    QTest::newRow("a Word run that inflates a thousand times and hides it")
        << write(QStringLiteral("run.docx"),
                 wordPackage("<w:p><w:r><w:t>" + run + "</w:t></w:r></w:p>"))
        << QByteArray("word/document.xml");
    QTest::newRow("an Excel cell that hides its size")
        << write(QStringLiteral("cell.xlsx"),
                 workbook("<c r=\"A1\" t=\"inlineStr\"><is><t>" + run + "</t></is></c>"))
        << QByteArray("xl/sheet1.xml");
    QTest::newRow("a Writer paragraph that hides its size")
        << write(QStringLiteral("paragraph.odt"),
                 openDocument("application/vnd.oasis.opendocument.text",
                              "<office:text><text:p>" + run + "</text:p></office:text>"))
        << QByteArray("content.xml");
    QTest::newRow("a Word attribute that hides its size")
        << write(QStringLiteral("attribute.docx"),
                 wordPackage("<w:p w:rsidR=\"" + run + "\"><w:r><w:t>x</w:t></w:r></w:p>"))
        << QByteArray("word/document.xml");
    // 48 headers of just under 1 MiB each: each under the ratio floor, together 48 MiB from a
    // few KiB.
    QTest::newRow("many entries, each small enough, together a bomb")
        << write(QStringLiteral("many.docx"), manyHeaders(48, (qsizetype(1) << 20) - 200))
        << QByteArray();
}

void TestDocumentBombs::bombsAreDamagedInBoundedMemory()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, hidden);
    if (!hidden.isEmpty())
        hideSize(path, hidden, 1024);
    const Run run = extractMeasured(path, QString());
    QCOMPARE(run.outcome, Outcome::Damaged);
    QVERIFY2(run.peakHeap < kHeapBound, qPrintable(QString::number(run.peakHeap)));
}

void TestDocumentBombs::hugeTextIsReadWholeInPieces_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");

    // 6 MiB of words in one text run or cell, no bomb (it deflates about 2 to 1), with a comma
    // and a double quote near its end that a cell must be quoted for.
    const QByteArray huge = words(qsizetype(6) << 20) + "end, of \"it\"";
    QByteArray escaped = huge;
    escaped.replace("\"", "&quot;");
    const QString text = QString::fromLatin1(huge);
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));

    QTest::newRow("one Word run") << write(QStringLiteral("long.docx"),
                                           wordPackage("<w:p><w:r><w:t>" + escaped +
                                                       "</w:t></w:r></w:p>"))
                                  << text + u'\n';
    QTest::newRow("one Writer paragraph")
        << write(QStringLiteral("long.odt"),
                 openDocument("application/vnd.oasis.opendocument.text",
                              "<office:text><text:p>" + escaped + "</text:p></office:text>"))
        << text + u'\n';
    // A cell too long to hold is written quoted as it comes; the cells around it as ever.
    QTest::newRow("one Excel cell among others")
        << write(QStringLiteral("long.xlsx"),
                 workbook("<c r=\"A1\" t=\"inlineStr\"><is><t>a,b</t></is></c>"
                          "<c r=\"B1\" t=\"inlineStr\"><is><t>" +
                          escaped + "</t></is></c><c r=\"D1\"><v>42</v></c>"))
        << QStringLiteral("\"a,b\",\"") + quoted + QStringLiteral("\",,42\n");
    QTest::newRow("one Calc cell among others, in a repeated row")
        << write(QStringLiteral("long.ods"),
                 openDocument("application/vnd.oasis.opendocument.spreadsheet",
                              "<office:spreadsheet><table:table><table:table-row "
                              "table:number-rows-repeated=\"3\"><table:table-cell><text:p>a,b"
                              "</text:p></table:table-cell><table:table-cell><text:p>" +
                                  escaped +
                                  "</text:p></table:table-cell><table:table-cell/><table:table-"
                                  "cell><text:p>42</text:p></table:table-cell></table:table-row>"
                                  "</table:table></office:spreadsheet>"))
        << QStringLiteral("\"a,b\",\"") + quoted + QStringLiteral("\",,42\n");
}

void TestDocumentBombs::hugeTextIsReadWholeInPieces()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    const Run run = extractMeasured(path, text);
    QCOMPARE(run.outcome, Outcome::Done);
    QVERIFY(run.asExpected);
    QCOMPARE(run.length, text.size());
    QVERIFY(run.largestPiece <= documents::TextSink::kPieceSize);
    QVERIFY2(run.peakHeap < kHeapBound, qPrintable(QString::number(run.peakHeap)));
    // The comma in a cell too long to hold stays inside its field.
    if (path.endsWith(u"xlsx") || path.endsWith(u"ods"))
        QVERIFY(fixtures::searchText(text).contains(u"end, of "));
}

void TestDocumentBombs::xmlTextReachesTheReaderInPieces_data()
{
    QTest::addColumn<QByteArray>("document");

    // Long runs of text with what a cut must not fall inside: UTF-8 sequences, references, CR LF.
    QByteArray mixed;
    for (int i = 0; mixed.size() < 300000; ++i)
        mixed += i % 3 ? "批量查找 &amp; &#x4E2D; a]]b\r\n" : "word ";
    QTest::newRow("text with UTF-8, references and line ends")
        << "<?xml version=\"1.0\"?><a><b>" + mixed + "</b>" + mixed + "</a>";
    QTest::newRow("a CDATA section") << "<a><![CDATA[" + mixed + "<x>]]]]></a>";
    // Markup that holds what ends markup elsewhere, before a long text.
    QTest::newRow("comments, instructions, quoted attributes and empty elements")
        << "<?xml version=\"1.0\"?><!DOCTYPE a><!-- <b> - > --><a x=\"1>/\" y='/'><?pi a>b?>"
           "<e/><f z=\"/\"/>" +
               mixed + "<!---->" + mixed + "</a><!-- after -->";
    QByteArray latin;
    for (int i = 0; latin.size() < 200000; ++i)
        latin += "caf\xE9 na\xEFve ";
    QTest::newRow("a declared encoding that keeps ASCII")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>" + latin + "</a>";
}

void TestDocumentBombs::xmlTextReachesTheReaderInPieces()
{
    QFETCH(QByteArray, document);
    const XmlText whole = readXml(document, document.size());
    QVERIFY(whole.wellFormed);
    QVERIFY(whole.longest > documents::XmlFeed::kPiece); // the document has a long run to cut
    // Blocks of odd sizes put block ends everywhere, also inside what must not be cut.
    for (const qsizetype block : {7, 4093, 65536}) {
        const XmlText fed = readXml(document, block);
        QVERIFY(fed.fed);
        QVERIFY(fed.wellFormed);
        QCOMPARE(fed.text, whole.text);
        QVERIFY2(fed.longest <= documents::XmlFeed::kPiece + 64,
                 qPrintable(QString::number(fed.longest)));
    }
}

QTEST_GUILESS_MAIN(TestDocumentBombs)
#include "tst_document_bombs.moc"
