#include "document_fixtures.h"

#include "search/documents/msg/compressed_rtf.h"
#include "search/documents/ole2/compound_file.h"
#include "search/documents/registry.h"
#include "search/documents/rtf/rtf.h"
#include "search/documents/text_sink.h"

#include <QFile>
#include <QTest>

using documents::Kind;
using fixtures::document;
using namespace Qt::Literals::StringLiterals;

// Outlook messages: the text a reader sees (headers, the body that shows best, embedded messages,
// nothing of the attached files), the compressed RTF body checked by its CRC, and the attached
// files handed out whole with their names and storage numbers.
class TestOutlookMessage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_data();
    void text();
    void compressedRtf_data();
    void compressedRtf();
    void attachments();
};

namespace {

QString textOf(const QString &path, Kind *kind = nullptr)
{
    const fixtures::ReadDocument read = fixtures::readDocument(path);
    if (kind)
        *kind = read.kind;
    return read.text;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray rtfStream(const QString &path)
{
    documents::CompoundFile file;
    QByteArray stream;
    if (file.open(path))
        file.read("__substg1.0_10090102", stream);
    return stream;
}

} // namespace

void TestOutlookMessage::text_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    // The words of realdocs wave 2 (WORDS.tsv), and the word that is not there.
    QTest::newRow("Outlook: a UTF-16 plain body")
        << document("msg/ompar_chinese_message.msg")
        << QStringList{u"提前合理安排进房间入住"_s, u"酒店研发部"_s}
        << QStringList{u"酒店销售部"_s};
    QTest::newRow("Outlook: Chinese, Japanese and Korean")
        << document("msg/hiraoka_hello_cjk.msg")
        << QStringList{u"你好"_s, u"こんにちは"_s, u"안녕하세요"_s} << QStringList{u"您好"_s};
    // Sender and recipients a line each; the GBK body by the message's code page; the embedded
    // message after it; the attached .docx's words are its own, not the message's.
    QTest::newRow("headers, a GBK body and an embedded message")
        << document("mail/outlook.msg")
        << QStringList{u"季度合同 MsgSubjectWord"_s,
                       u"张三 <zhangsan@example.com>"_s,
                       u"李四"_s,
                       u"纯文本正文 MsgBodyWord，批量查找。"_s,
                       u"内层邮件 EmbeddedSubjectWord"_s,
                       u"内层正文 EmbeddedBodyWord"_s}
        << QStringList{u"NeedleWord"_s, u"合同.docx"_s, u"HETONG"_s};
    // No plain body: the RTF's text, not its markup.
    QTest::newRow("only a compressed RTF body")
        << document("msg/rtf_only.msg")
        << QStringList{u"RTF OnlySubject"_s, u"RTF正文 RtfBodyWord"_s}
        << QStringList{u"fonttbl"_s, u"SimSun"_s, u"ansicpg"_s};
    // No plain body and no RTF: the HTML's text in the message's code page (Shift-JIS, which
    // the encoding rule of text files would not tell), not its markup.
    QTest::newRow("only an HTML body")
        << document("msg/html_only.msg")
        << QStringList{u"HTML OnlySubject"_s, u"日本語の本文 HtmlBodyWord"_s}
        << QStringList{u"見出し"_s, u"<p>"_s};
}

void TestOutlookMessage::text()
{
    QFETCH(QString, path);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    Kind kind = Kind::NotDocument;
    const QString text = textOf(path, &kind);
    QCOMPARE(kind, Kind::OutlookMessage);
    for (const QString &word : present)
        QVERIFY2(text.contains(word), qPrintable(word + u" not in: "_s + text));
    for (const QString &word : absent)
        QVERIFY2(!text.contains(word), qPrintable(word + u" in: "_s + text));
}

void TestOutlookMessage::compressedRtf_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("word"); // in the RTF's text; empty: the stream is refused
    const QByteArray hiraoka = rtfStream(document("msg/hiraoka_hello_cjk.msg"));
    const QByteArray ompar = rtfStream(document("msg/ompar_chinese_message.msg"));
    // Outlook's compression: references into the dictionary's prefix and back into the text.
    QTest::newRow("Outlook's RTF, Japanese") << hiraoka << u"こんにちは"_s;
    QTest::newRow("Outlook's RTF, Chinese") << ompar << u"提前合理安排进房间入住"_s;
    QByteArray flipped = hiraoka;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x20);
    QTest::newRow("a changed byte fails the CRC") << flipped << QString();
    QTest::newRow("a cut stream") << hiraoka.first(hiraoka.size() - 100) << QString();
    QByteArray huge = hiraoka;
    huge[7] = char(0x7F); // the RTF's size: about 2 GiB
    QTest::newRow("an RTF larger than the limit") << huge << QString();
    QByteArray stored = "{\\rtf1 StoredWord}"_ba;
    stored.prepend(QByteArray::fromHex("1e000000120000004d454c4100000000"));
    QTest::newRow("RTF stored as it is") << stored << u"StoredWord"_s;
    QTest::newRow("a stored RTF longer than its stream") << stored.first(20) << QString();
}

void TestOutlookMessage::compressedRtf()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, word);
    QVERIFY(stream.size() > 16);
    const std::optional<QByteArray> rtf = documents::msg::decompressRtf(stream, 1 << 24);
    QCOMPARE(rtf.has_value(), !word.isEmpty());
    if (!rtf)
        return;
    QVERIFY(rtf->startsWith("{\\rtf1"));
    QCOMPARE(quint32(rtf->size()), documents::le32(stream, 4));
    QString text;
    const documents::TextOut out = [&](QStringView piece) {
        text += piece;
        return true;
    };
    documents::TextSink sink(out, nullptr);
    sink.finish(documents::RtfExtractor().extract(documents::Source::fromBytes(*rtf, {}), sink));
    QVERIFY2(text.contains(word), qPrintable(text));
}

void TestOutlookMessage::attachments()
{
    const QString path = document("mail/outlook.msg");
    std::unique_ptr<documents::Document> message =
        documents::openDocument(path, fixtures::head(path));
    QVERIFY(message);
    QVERIFY(message->hasAttachments());
    std::unique_ptr<documents::Attachments> carried = message->takeAttachments();
    QVERIFY(carried);
    QVERIFY(!message->hasAttachments());
    // Valid after the document, and the compound file it opened, are gone.
    message.reset();

    const QByteArray docx = fileBytes(document("runs.docx"));
    QVERIFY(!docx.isEmpty());
    // The long file name before the short one; the embedded message is text, not a file.
    const auto first = carried->next(qint64(1) << 30);
    QVERIFY(first);
    QCOMPARE(first->index, 0);
    QCOMPARE(first->name, u"合同.docx"_s);
    QCOMPARE(first->bytes, docx);
    QCOMPARE(first->size, docx.size());
    QVERIFY(!first->damaged);
    QVERIFY(!carried->next(qint64(1) << 30));

    // One larger than the limit is handed out damaged, its bytes not held.
    std::unique_ptr<documents::Document> again =
        documents::openDocument(path, fixtures::head(path));
    const auto big = again->takeAttachments()->next(1000);
    QVERIFY(big);
    QVERIFY(big->damaged);
    QVERIFY(big->bytes.isEmpty());
    QCOMPARE(big->size, docx.size());

    // Messages without attachments have none to hand out.
    for (const char *name : {"msg/hiraoka_hello_cjk.msg", "msg/ompar_chinese_message.msg"}) {
        const QString plain = document(name);
        QVERIFY(!documents::openDocument(plain, fixtures::head(plain))->hasAttachments());
    }
}

QTEST_GUILESS_MAIN(TestOutlookMessage)
#include "tst_outlook_message.moc"
