#include "document_fixtures.h"

#include "search/documents/document_text.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using documents::Kind;
using documents::Outcome;

using Entries = QList<QPair<QByteArray, QByteArray>>;

Q_DECLARE_METATYPE(documents::Kind)
Q_DECLARE_METATYPE(documents::Outcome)

namespace {

QByteArray xhtml(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE html>"
           "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>TitleWord</title>"
           "<style>p { color: red }</style><meta charset=\"utf-8\"/></head><body>" +
           body + "</body></html>";
}

const QByteArray kMimetype = "application/epub+zip";

QByteArray container(const QByteArray &packageDocument)
{
    return "<?xml version=\"1.0\"?><container version=\"1.0\" "
           "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
           "full-path=\"" +
           packageDocument +
           "\" media-type=\"application/oebps-package+xml\"/></rootfiles></container>";
}

// A package document of `manifest` items (id, href) of XHTML, and a spine of `spine` ids.
QByteArray packageDocument(const QList<QPair<QByteArray, QByteArray>> &manifest,
                           const QList<QByteArray> &spine)
{
    QByteArray opf = "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" "
                     "version=\"3.0\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                     "<dc:title>MetadataWord</dc:title></metadata><manifest>"
                     "<item id=\"css\" href=\"style.css\" media-type=\"text/css\"/>";
    for (const auto &[id, href] : manifest)
        opf +=
            "<item id=\"" + id + "\" href=\"" + href + "\" media-type=\"application/xhtml+xml\"/>";
    opf += "</manifest><spine>";
    for (const QByteArray &id : spine)
        opf += "<itemref idref=\"" + id + "\"/>";
    return opf + "</spine></package>";
}

// A book of one document, OEBPS/text/one.xhtml, holding `body`.
Entries book(const QByteArray &document)
{
    return {{"mimetype", kMimetype},
            {"META-INF/container.xml", container("OEBPS/content.opf")},
            {"OEBPS/content.opf", packageDocument({{"one", "text/one.xhtml"}}, {"one"})},
            {"OEBPS/text/one.xhtml", document}};
}

QByteArray encryption(const QByteArray &algorithm, const QByteArray &uri)
{
    return "<?xml version=\"1.0\"?><encryption "
           "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\" "
           "xmlns:enc=\"http://www.w3.org/2001/04/xmlenc#\"><enc:EncryptedData>"
           "<enc:EncryptionMethod Algorithm=\"" +
           algorithm + "\"/><enc:CipherData><enc:CipherReference URI=\"" + uri +
           "\"/></enc:CipherData></enc:EncryptedData></encryption>";
}

} // namespace

class TestEpub : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void books_data();
    void books();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestEpub::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestEpub::books_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("text");

    QTest::newRow("spine order, not manifest order; paths relative to the package document")
        << Entries{{"mimetype", kMimetype},
                   {"META-INF/container.xml", container("OPS/package/book.opf")},
                   {"OPS/package/book.opf", packageDocument({{"c1", "../text/one.xhtml"},
                                                             {"c2", "../text/part%202/two.xhtml"},
                                                             {"c3", "three.xhtml#start"}},
                                                            {"c3", "c1", "c2"})},
                   {"OPS/text/one.xhtml", xhtml("<p>One</p>")},
                   {"OPS/text/part 2/two.xhtml", xhtml("<p>Two</p>")},
                   {"OPS/package/three.xhtml", xhtml("<p>Three</p>")}}
        << Outcome::Done << QStringLiteral("Three\nOne\nTwo\n");
    QTest::newRow("HTML named entities and character references")
        << book(xhtml("<p>caf&eacute;&nbsp;&amp;&#x4E2D;&#25991; &lt;b&gt; &mdash;&hellip;</p>"))
        << Outcome::Done << QStringLiteral(u"café\u00A0&中文 <b> —…\n");
    QTest::newRow("head, script, style, hidden elements and ruby annotations are no text")
        << book(xhtml("<script>var NeedleScript = 1 < 2;</script><p>可见<style>.x{}</style>文字"
                      "</p><p hidden=\"hidden\">HiddenWord</p><p><ruby>批量<rp>(</rp>"
                      "<rt>pīliàng</rt><rp>)</rp></ruby>查找</p><script src=\"a.js\"/><p>end</p>"))
        << Outcome::Done << QStringLiteral(u"可见文字\n批量查找\nend\n");
    QTest::newRow("block elements end lines, blanks collapse as a browser shows them")
        << book(xhtml("<div>  lead\n  text <span>in</span>\tline <div><p>inner</p></div>tail</div>"
                      "<ul><li>a</li><li>b<br/>c</li></ul><table><tr><td>x</td><td>y</td></tr>"
                      "</table><h2>H</h2><pre>  a\r\n b</pre><blockquote>q</blockquote>"
                      "<section>s</section>"))
        << Outcome::Done
        << QStringLiteral("lead text in line\ninner\ntail\na\nb\nc\nx\ny\nH\n"
                          "  a\n b\nq\ns\n");
    QTest::newRow("markup that is not well-formed XML is read as HTML")
        << book("<html><body><p>one<p>two<br>three</p>open <b>bold") << Outcome::Done
        << QStringLiteral("one\ntwo\nthree\nopen bold\n");
    QByteArray utf16("\xFF\xFE");
    const QString wide = QStringLiteral(u"<html><body><p>批量查找</p></body></html>");
    utf16.append(reinterpret_cast<const char *>(wide.utf16()), wide.size() * 2);
    QTest::newRow("a UTF-16 document with a byte-order mark")
        << book(utf16) << Outcome::Done << QStringLiteral(u"批量查找\n");

    // A paragraph of 3 MiB without markup, letters and Chinese characters from a fixed seed.
    QRandomGenerator random(7);
    QString run;
    while (run.size() < (3 << 20))
        run += random.bounded(4) == 0 ? QChar(char16_t(0x4E00 + random.bounded(2000)))
                                      : QChar(char16_t(u'a' + random.bounded(26)));
    QTest::newRow("a text run of megabytes is read whole")
        << book(xhtml("<p>" + run.toUtf8() + "</p>")) << Outcome::Done << run + u'\n';

    Entries fonts = book(xhtml("<p>readable</p>"));
    fonts.append({"META-INF/encryption.xml",
                  encryption("http://www.idpf.org/2008/embedding", "OEBPS/fonts/a.otf")});
    QTest::newRow("obfuscated fonts leave the text readable")
        << fonts << Outcome::Done << QStringLiteral("readable\n");
    Entries encrypted = book("ciphertext");
    encrypted.append(
        {"META-INF/encryption.xml",
         encryption("http://www.w3.org/2001/04/xmlenc#aes128-cbc", "OEBPS/text/one.xhtml")});
    QTest::newRow("an encrypted content document") << encrypted << Outcome::Encrypted << QString();
    Entries missing = book(xhtml("<p>present</p>"));
    missing[2].second = packageDocument({{"a", "gone.xhtml"}, {"b", "text/one.xhtml"}}, {"a", "b"});
    QTest::newRow("a missing document: the others are read, the book is damaged")
        << missing << Outcome::Damaged << QStringLiteral("present\n");
    Entries noMimetype = book(xhtml("<p>found</p>"));
    noMimetype.removeFirst();
    QTest::newRow("no mimetype, but a container naming the package document")
        << noMimetype << Outcome::Done << QStringLiteral("found\n");
    QTest::newRow("a mimetype and nothing else is a damaged book")
        << Entries{{"mimetype", kMimetype}} << Outcome::Damaged << QString();
}

void TestEpub::books()
{
    QFETCH(Entries, entries);
    QFETCH(Outcome, outcome);
    QFETCH(QString, text);
    const QString path = m_dir->filePath(QStringLiteral("book.bin"));
    fixtures::writeZip(path, entries);
    QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::Epub);
    QString extracted;
    QCOMPARE(documents::extractText(path, Kind::Epub,
                                    [&](QStringView piece) {
                                        extracted += piece;
                                        return true;
                                    }),
             outcome);
    QCOMPARE(extracted, text);
    if (outcome != Outcome::Done)
        return;
    // Cut short, as an interrupted download leaves it: still a book, and a damaged one.
    QFile file(path);
    QVERIFY(file.resize(file.size() / 2));
    QCOMPARE(documents::recognise(path, fixtures::head(path)), Kind::Epub);
    QCOMPARE(documents::extractText(path, Kind::Epub, [](QStringView) { return true; }),
             Outcome::Damaged);
}

QTEST_GUILESS_MAIN(TestEpub)
#include "tst_epub.moc"
