#include "search/documents/text_screen.h"

#include <QTest>

using documents::PackageScan;
using documents::TextScreen;

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

QTEST_GUILESS_MAIN(TestTextScreen)
#include "tst_text_screen.moc"
