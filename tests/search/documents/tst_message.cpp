#include "document_fixtures.h"

#include "search/documents/registry.h"
#include "search/match/keyword.h"

#include <QFile>
#include <QSet>
#include <QTest>

using documents::Kind;
using fixtures::document;
using namespace Qt::Literals::StringLiterals;

// Mail and saved pages: the text a reader sees (headers, the text parts in their charsets, no
// preamble, nothing of the attachments), and the attachments handed out whole with their names.
class TestMessage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_data();
    void text();
    void attachments();
    void transferEncodings_data();
    void transferEncodings();
    void screen_data();
    void screen();
    void screenKeepsEveryCharacter_data();
    void screenKeepsEveryCharacter();
    void htmlFragments_data();
    void htmlFragments();
};

namespace {

QString textOf(const QString &path)
{
    return fixtures::readDocument(path).text;
}

} // namespace

void TestMessage::text_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    // The attachments' words are theirs, not the mail's; the preamble is shown by no client.
    QTest::newRow("mail") << document("mail/mail.eml")
                          << QStringList{u"季度合同 SubjectWord"_s, u"张三"_s,
                                         u"纯文本正文 PlainBodyWord，批量查找。"_s,
                                         u"网页正文 HtmlBodyWord"_s}
                          << QStringList{u"PreambleWord"_s, u"AttachedTextWord"_s,
                                         u"NestedMailWord"_s, u"NeedleWord"_s, u"html>"_s};
    // The page's title is text, as the browser shows it; so is its headers' subject and the
    // name of encoded words its From gives without an address. The picture gives nothing, and
    // neither do Word's conditional sections, in a comment or outside one.
    QTest::newRow("saved page") << document("mail/page.mht")
                                << QStringList{u"网页标题"_s,
                                               u"保存的网页"_s,
                                               u"由 Windows Internet Explorer 8 保存"_s,
                                               u"保存的网页 SavedPageWord"_s,
                                               u"概率论与数理统计"_s,
                                               u"图示"_s}
                                << QStringList{u"iVBOR"_s, u"logo"_s,         u"<!"_s,
                                               u"endif"_s, u"VmlShapeWord"_s, u"=?gb2312"_s};
}

void TestMessage::text()
{
    QFETCH(QString, path);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const QString text = textOf(path);
    for (const QString &word : present)
        QVERIFY2(text.contains(word), qPrintable(word + u" not in: "_s + text));
    for (const QString &word : absent)
        QVERIFY2(!text.contains(word), qPrintable(word + u" in: "_s + text));
}

void TestMessage::attachments()
{
    const QString path = document("mail/mail.eml");
    std::unique_ptr<documents::Document> mail = documents::openDocument(path, fixtures::head(path));
    QVERIFY(mail);
    QVERIFY(mail->hasAttachments());
    std::unique_ptr<documents::Attachments> carried = mail->takeAttachments();
    QVERIFY(carried);
    QVERIFY(!mail->hasAttachments());
    // Valid after the document is gone.
    mail.reset();

    QFile docx(document("runs.docx"));
    QVERIFY(docx.open(QIODevice::ReadOnly));
    const QByteArray docxBytes = docx.readAll();

    // An RFC 2231 GBK name, an RFC 2047 GB2312 word, an attached mail named by its subject.
    const QStringList names{u"合同.docx"_s, u"报价单.txt"_s, u"内层邮件.eml"_s};
    QList<documents::Attachments::Attachment> got;
    while (auto next = carried->next(qint64(1) << 30))
        got.append(*next);
    QCOMPARE(got.size(), names.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].index, int(i));
        QCOMPARE(got[i].name, names[i]);
        QVERIFY(!got[i].damaged);
    }
    QCOMPARE(got[0].bytes, docxBytes);
    QCOMPARE(got[1].bytes, "报价 AttachedTextWord\n"_ba);
    // The attached mail is a message again, with its own words.
    const documents::Source inner = documents::Source::fromBytes(got[2].bytes, names[2]);
    const std::unique_ptr<documents::Document> nested = documents::openDocument(
        inner, got[2].bytes.first(std::min<qsizetype>(1024, got[2].bytes.size())));
    QVERIFY(nested);
    QCOMPARE(nested->kind(), Kind::Message);

    // An attachment larger than the limit is handed out damaged, its bytes not held.
    std::unique_ptr<documents::Document> again =
        documents::openDocument(path, fixtures::head(path));
    std::unique_ptr<documents::Attachments> limited = again->takeAttachments();
    const auto big = limited->next(1000);
    QVERIFY(big);
    QVERIFY(big->damaged);
    QVERIFY(big->bytes.isEmpty());
}

namespace {

// A mail held in memory carrying one attachment whose content is `encoded` in `encoding`.
QByteArray mailCarrying(const QByteArray &encoding, const QByteArray &encoded)
{
    return "From: a@example.cn\nTo: b@example.cn\nSubject: t\nMIME-Version: 1.0\n"
           "Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
           "Content-Type: text/plain; charset=utf-8\n\nbody\n--b\n"
           "Content-Type: application/octet-stream\n"
           "Content-Disposition: attachment; filename=\"x.bin\"\n"
           "Content-Transfer-Encoding: "_ba +
           encoding + "\n\n"_ba + encoded + "\n--b--\n"_ba;
}

QByteArray wrapped(const QByteArray &base64)
{
    QByteArray lines;
    for (qsizetype at = 0; at < base64.size(); at += 76)
        lines += base64.mid(at, 76) + '\n';
    lines.chop(1);
    return lines;
}

QByteArray everyByte(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char(i * 7 % 256));
    return bytes;
}

} // namespace

void TestMessage::transferEncodings_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QByteArray>("decoded"); // empty: handed out damaged
    const qint64 noLimit = qint64(1) << 30;
    const QByteArray bytes = everyByte(300);
    const QByteArray base64 = wrapped(bytes.toBase64());
    QTest::newRow("base64 lines give every byte value")
        << "base64"_ba << base64 << noLimit << bytes;
    // 300 bytes take 400 base64 characters and 5 line ends: past a limit of 300 encoded, within
    // it decoded.
    QTest::newRow("base64 longer than the limit, its bytes within it")
        << "base64"_ba << base64 << qint64(300) << bytes;
    QTest::newRow("base64 one byte past the limit")
        << "base64"_ba << base64 << qint64(299) << QByteArray();
    QTest::newRow("base64 across the reading blocks")
        << "base64"_ba << wrapped(everyByte(200000).toBase64()) << noLimit << everyByte(200000);
    QTest::newRow("quoted-printable with soft line breaks")
        << "quoted-printable"_ba
        << "=E5=90=88=E5=90=8C soft=\nbreak a=3Db\nline two"_ba << noLimit
        << "合同 softbreak a=b\nline two"_ba;
    QTest::newRow("quoted-printable longer than the limit, its bytes within it")
        << "quoted-printable"_ba
        << "=E5=90=88=E5=90=8C"_ba << qint64(6) << "合同"_ba;
    QTest::newRow("quoted-printable, its bytes past the limit")
        << "quoted-printable"_ba
        << "=E5=90=88=E5=90=8C"_ba << qint64(5) << QByteArray();
    QTest::newRow("8bit bytes as they are")
        << "8bit"_ba
        << "\xba\xcf\xcd\xac GBK"_ba << noLimit << "\xba\xcf\xcd\xac GBK"_ba;
    QTest::newRow("7bit past the limit") << "7bit"_ba
                                         << "0123456789"_ba << qint64(9) << QByteArray();
    QTest::newRow("uuencode after its begin line")
        << "x-uuencode"_ba
        << "begin 644 x.bin\n&Y9\"(Y9\",\n`\nend"_ba << noLimit << "合同"_ba;
}

// The attachment's bytes decoded from their transfer encoding, whole, or handed out damaged when
// they are larger than the limit.
void TestMessage::transferEncodings()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, encoded);
    QFETCH(qint64, limit);
    QFETCH(QByteArray, decoded);
    const QByteArray mail = mailCarrying(encoding, encoded);
    const documents::Source source = documents::Source::fromBytes(mail, u"x.eml"_s);
    std::unique_ptr<documents::Document> message = documents::openDocument(source, mail);
    QVERIFY(message);
    std::unique_ptr<documents::Attachments> carried = message->takeAttachments();
    QVERIFY(carried);
    const auto attachment = carried->next(limit);
    QVERIFY(attachment);
    QCOMPARE(attachment->name, u"x.bin"_s);
    QCOMPARE(attachment->damaged, decoded.isEmpty());
    QCOMPARE(attachment->bytes, decoded);
    QVERIFY(!carried->next(limit));
}

namespace {

// A mail whose Subject is `subject` (UTF-8, as an encoded word) and whose body is `parts`, each a
// part's headers and content, in a multipart/mixed.
QByteArray mailOf(const QString &subject, const QList<QByteArray> &parts)
{
    QByteArray mail = "From: a@example.cn\nTo: b@example.cn\nSubject: =?utf-8?b?"_ba +
                      subject.toUtf8().toBase64() +
                      "?=\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n"_ba;
    for (const QByteArray &part : parts)
        mail += "--b\n"_ba + part + "\n"_ba;
    return mail + "--b--\n"_ba;
}

QByteArray htmlPart(const QByteArray &charset, const QByteArray &encoding, const QByteArray &body)
{
    return "Content-Type: text/html; charset="_ba + charset + "\nContent-Transfer-Encoding: "_ba +
           encoding + "\n\n"_ba + body;
}

// The text of a document as extract() gives it, after asking the screen for `keyword` first when
// `screenFirst`; the screen's answer in `answer`.
QString readScreened(const QByteArray &bytes, const QString &keyword, bool screenFirst,
                     documents::Screen *answer = nullptr)
{
    const documents::Source source = documents::Source::fromBytes(bytes, u"x.eml"_s);
    const std::unique_ptr<documents::Document> message = documents::openDocument(source, bytes);
    if (!message)
        return QString();
    platform::WorkMonitor monitor;
    if (screenFirst) {
        const documents::Screen screened =
            message->screen(search::Keyword::utf8CharactersOf(keyword), monitor);
        if (answer)
            *answer = screened;
    }
    QString text;
    message->extract(
        [&](QStringView piece) {
            text += piece;
            return true;
        },
        monitor);
    return text;
}

} // namespace

void TestMessage::screen_data()
{
    QTest::addColumn<QByteArray>("mail");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("absent");
    const QByteArray gbkQp = htmlPart("gbk", "quoted-printable",
                                      "<p>=B9=D8=BC=FC=D7=D6 body</p>"); // 关键字 in GBK
    const QByteArray attached = "Content-Type: text/plain; charset=utf-8\n"
                                "Content-Disposition: attachment; filename=\"a.txt\"\n\n鑫";
    QTest::newRow("in a GBK quoted-printable part")
        << mailOf(u"主题"_s, {gbkQp}) << u"关键字"_s << false;
    QTest::newRow("one character in no part") << mailOf(u"主题"_s, {gbkQp}) << u"关键鑫"_s << true;
    // 蚌是 is B0 F6 CA C7: 鍪's bytes F6 CA across the two characters.
    QTest::newRow("its bytes across two characters")
        << mailOf(u"主题"_s, {htmlPart("gbk", "quoted-printable", "<p>=B0=F6=CA=C7</p>")})
        << u"鍪"_s << true;
    QTest::newRow("its bytes across two characters, then the character")
        << mailOf(u"主题"_s,
                  {htmlPart("gbk", "quoted-printable", "<p>=B0=F6=CA=C7</p><p>=F6=CA</p>")})
        << u"鍪"_s << false;
    QTest::newRow("in the subject only") << mailOf(u"鑫"_s, {gbkQp}) << u"鑫"_s << false;
    QTest::newRow("in an attachment only, not the mail's text")
        << mailOf(u"主题"_s, {gbkQp, attached}) << u"鑫"_s << true;
    QTest::newRow("a character reference in HTML")
        << mailOf(u"主题"_s, {htmlPart("utf-8", "8bit", "<p>&#x946B;</p>")}) << u"鑫"_s << false;
    QTest::newRow("a character reference in plain text is no reference")
        << mailOf(u"主题"_s, {"Content-Type: text/plain; charset=utf-8\n\n&#x946B; &amp;"_ba})
        << u"鑫"_s << true;
    QTest::newRow("a named reference for the character")
        << mailOf(u"主题"_s, {htmlPart("utf-8", "8bit", "<p>a&middot;b</p>")}) << u"a·b"_s << false;
    QTest::newRow("named references for other characters")
        << mailOf(u"主题"_s, {htmlPart("utf-8", "8bit", "<p>a&middot;b&nbsp;</p>")}) << u"鑫"_s
        << true;
    QTest::newRow("in the second of two parts, base64 UTF-8")
        << mailOf(u"主题"_s,
                  {gbkQp, htmlPart("utf-8", "base64", u"<b>鑫</b>"_s.toUtf8().toBase64())})
        << u"键鑫"_s << false;
    QTest::newRow("ASCII keyword: nothing to screen")
        << mailOf(u"主题"_s, {gbkQp}) << u"body"_s << false;
}

// The screen rules out a keyword only when the mail's text lacks one of its characters, and the
// text read after it is the same as without it.
void TestMessage::screen()
{
    QFETCH(QByteArray, mail);
    QFETCH(QString, keyword);
    QFETCH(bool, absent);
    documents::Screen answer = documents::Screen::Stopped;
    const QString screened = readScreened(mail, keyword, true, &answer);
    QCOMPARE(answer == documents::Screen::Absent, absent);
    QCOMPARE(screened, readScreened(mail, keyword, false));
    for (const QChar c : keyword) {
        if (!absent && c.unicode() >= 0x80)
            QVERIFY2(screened.contains(c), qPrintable(screened));
    }
}

void TestMessage::screenKeepsEveryCharacter_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("mail") << document("mail/mail.eml");
    QTest::newRow("saved page") << document("mail/page.mht");
}

// Every character of a real message's text passes its screen; one the text lacks does not.
void TestMessage::screenKeepsEveryCharacter()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString text = readScreened(bytes, QString(), false);
    QSet<char32_t> seen;
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x80 || seen.contains(c))
            continue;
        seen.insert(c);
        documents::Screen answer = documents::Screen::Absent;
        readScreened(bytes, QString::fromUcs4(&c, 1), true, &answer);
        QVERIFY2(answer == documents::Screen::Possible, qPrintable(QString::fromUcs4(&c, 1)));
    }
    QVERIFY(seen.size() > 10);
    QVERIFY(!text.contains(u'鑫'));
    documents::Screen answer = documents::Screen::Possible;
    readScreened(bytes, u"鑫"_s, true, &answer);
    QCOMPARE(answer, documents::Screen::Absent);
}

void TestMessage::htmlFragments_data()
{
    QTest::addColumn<QByteArray>("html");
    // Clients write HTML parts without html and body elements; every element is text, not only
    // the first.
    QTest::newRow("elements side by side") << "<div>FirstWord</div><div>SecondWord</div>"_ba;
    QTest::newRow("text, then elements")
        << "FirstWord <div>SecondWord</div><div>ThirdWord</div>"_ba;
    QTest::newRow("text between elements") << "<p>FirstWord</p>SecondWord<p>ThirdWord</p>"_ba;
    QTest::newRow("a whole page")
        << "<html><body><p>FirstWord</p><p>SecondWord</p></body></html>"_ba;
}

void TestMessage::htmlFragments()
{
    QFETCH(QByteArray, html);
    const QString text =
        readScreened(mailOf(u"主题"_s, {htmlPart("utf-8", "8bit", html)}), QString(), false);
    for (const QString &word : {u"FirstWord"_s, u"SecondWord"_s})
        QVERIFY2(text.contains(word), qPrintable(text));
    QCOMPARE(text.contains(u"ThirdWord"_s), html.contains("ThirdWord"));
}

QTEST_GUILESS_MAIN(TestMessage)
#include "tst_message.moc"
