#include "platform/core/text_encoding.h"
#include "search/match/keyword_bytes.h"
#include "search/match/utf8_decoder.h"

#include <QTest>

#include <random>

using platform::TextEncoding;
using search::keywordBytes;
using search::Utf8Decoder;

namespace {

// What the reference reader makes of one UTF-8 field.
QString reference(const QByteArray &field)
{
    static QStringDecoder decoder = platform::makeDecoder({TextEncoding::Utf8, {}});
    return platform::decodeField(decoder, field);
}

// The same field fed to Utf8Decoder in pieces of the given sizes (cycled).
QString inPieces(const QByteArray &field, const QList<int> &sizes)
{
    std::u16string out(field.size() + 8, u'\0');
    char16_t *end = out.data();
    Utf8Decoder decoder;
    qsizetype at = 0;
    for (int i = 0; at < field.size(); ++i) {
        const qsizetype n = std::min<qsizetype>(sizes.at(i % sizes.size()), field.size() - at);
        end = decoder.decode(field.constData() + at, n, end);
        at += n;
    }
    end = decoder.finish(end);
    return QStringView(out.data(), end - out.data()).toString(); // keeps a leading U+FEFF
}

} // namespace

class TestUtf8Decoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyShortSequenceDecodesLikeTheReference();
    void randomFieldsCutAnywhereDecodeLikeTheReference();
    void keywordBytes_data();
    void keywordBytes();
    void noUtf8ByteFormOtherThanTheCanonicalOneMakesACharacter();
    void utf8WindowTestAgreesWithQtsDecoder();
};

void TestUtf8Decoder::everyShortSequenceDecodesLikeTheReference()
{
    // Every byte and pair, and every lead byte with two more bytes, between ASCII context bytes.
    QList<QByteArray> fields;
    for (int a = 0; a < 256; ++a) {
        fields << QByteArray(1, char(a));
        for (int b = 0; b < 256; ++b)
            fields << (QByteArray(1, char(a)) + char(b));
    }
    for (int a = 0xC0; a < 0x100; ++a) {
        for (int b = 0x70; b < 0xC8; ++b) {
            for (int c = 0; c < 256; c += (c >= 0x78 && c < 0xC8) ? 1 : 13)
                fields << (QByteArray("x") + char(a) + char(b) + char(c));
        }
    }
    for (const QByteArray &field : std::as_const(fields)) {
        const QString expected = reference(field);
        if (inPieces(field, {1024}) != expected || inPieces(field, {1}) != expected)
            QFAIL(
                qPrintable(QStringLiteral("bytes %1").arg(QString::fromLatin1(field.toHex(' ')))));
    }
}

void TestUtf8Decoder::randomFieldsCutAnywhereDecodeLikeTheReference()
{
    std::mt19937 random(20240611);
    // Bytes chosen to make valid, overlong, surrogate, truncated and stray sequences often.
    const QByteArray alphabet("a\n\x80\x8f\x90\x9f\xa0\xbf\xc0\xc1\xc2\xdf\xe0\xe4\xed\xef\xf0\xf4"
                              "\xf5\xff\xb8\xad\xbb");
    for (int round = 0; round < 100000; ++round) {
        QByteArray field;
        const int length = int(random() % 14);
        for (int i = 0; i < length; ++i)
            field += alphabet.at(random() % alphabet.size());
        const QList<int> sizes{int(random() % 4 + 1), int(random() % 3 + 1), int(random() % 5 + 1)};
        if (inPieces(field, sizes) != reference(field))
            QFAIL(
                qPrintable(QStringLiteral("bytes %1").arg(QString::fromLatin1(field.toHex(' ')))));
    }
}

void TestUtf8Decoder::keywordBytes_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("hasForm");

    QTest::newRow("Chinese characters have their GBK pairs")
        << QStringLiteral(u"中文") << int(TextEncoding::Gb18030) << QByteArray("\xD6\xD0\xCE\xC4")
        << true;
    QTest::newRow("ASCII is itself in GBK")
        << QStringLiteral("key,1") << int(TextEncoding::Gb18030) << QByteArray("key,1") << true;
    QTest::newRow("a GBK pair with an ASCII trail byte")
        << QStringLiteral(u"丂") << int(TextEncoding::Gb18030) << QByteArray("\x81\x40") << true;
    QTest::newRow("the euro sign is the single byte 0x80 in this code page")
        << QStringLiteral(u"€") << int(TextEncoding::Gb18030) << QByteArray("\x80") << true;
    QTest::newRow("DEL is a byte of its own, though a lead byte before it is U+FFFD")
        << QStringLiteral("\x7f") << int(TextEncoding::Gb18030) << QByteArray("\x7f") << true;
    QTest::newRow("NUL is a byte of its own")
        << QString(QChar(0)) << int(TextEncoding::Gb18030) << QByteArray(1, '\0') << true;
    QTest::newRow("a character beyond the Basic Multilingual Plane has its four-byte form")
        << QStringLiteral(u"a😀") << int(TextEncoding::Gb18030) << QByteArray("a\x94\x39\xFC\x36")
        << true;
    QTest::newRow("Hangul has its four-byte form")
        << QStringLiteral(u"한") << int(TextEncoding::Gb18030) << QByteArray("\x83\x36\x84\x33")
        << true;
    QTest::newRow("a Big5 pair whose trail byte is a backslash")
        << QStringLiteral(u"許功") << int(TextEncoding::Big5) << QByteArray("\xB3\x5C\xA5\x5C")
        << true;
    QTest::newRow("a declared charset is decoded, never searched by bytes")
        << QStringLiteral("a") << int(TextEncoding::Declared) << QByteArray() << false;
    QTest::newRow("U+FFFD comes from any invalid bytes, so it has no form")
        << QStringLiteral(u"a\uFFFD") << int(TextEncoding::Gb18030) << QByteArray() << false;
    QTest::newRow("U+FFFD has no UTF-8 form either")
        << QStringLiteral(u"\uFFFD") << int(TextEncoding::Utf8) << QByteArray() << false;
    QTest::newRow("an empty keyword is found without reading, it has no form")
        << QString() << int(TextEncoding::Utf8) << QByteArray() << false;
    QTest::newRow("UTF-8 forms are the canonical ones")
        << QStringLiteral(u"中😀") << int(TextEncoding::Utf8)
        << QByteArray("\xE4\xB8\xAD\xF0\x9F\x98\x80") << true;
    QTest::newRow("a lone surrogate cannot be in decoded UTF-8")
        << QString(QChar(0xD800)) << int(TextEncoding::Utf8) << QByteArray() << false;
    QTest::newRow("UTF-16 files are decoded, never searched by bytes")
        << QStringLiteral("a") << int(TextEncoding::Utf16LE) << QByteArray() << false;
}

void TestUtf8Decoder::keywordBytes()
{
    QFETCH(QString, keyword);
    QFETCH(int, encoding);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, hasForm);
    const auto form = search::keywordBytes(keyword, TextEncoding(encoding));
    QCOMPARE(form.has_value(), hasForm);
    if (hasForm)
        QCOMPARE(*form, bytes);
}

void TestUtf8Decoder::noUtf8ByteFormOtherThanTheCanonicalOneMakesACharacter()
{
    // Overlong forms, encoded surrogates and values above U+10FFFF all decode to U+FFFD only, so
    // searching a keyword's canonical bytes cannot miss a character written another way.
    const QList<QByteArray> others{
        QByteArray("\xC0\xAF"),         QByteArray("\xC1\xBF"),
        QByteArray("\xE0\x80\xAF"),     QByteArray("\xE0\x9F\xBF"),
        QByteArray("\xED\xA0\x80"),     QByteArray("\xED\xBF\xBF"),
        QByteArray("\xF0\x80\x80\xAF"), QByteArray("\xF0\x8F\xBF\xBF"),
        QByteArray("\xF4\x90\x80\x80"), QByteArray("\xF8\x88\x80\x80\x80")};
    for (const QByteArray &bytes : others) {
        const QString text = reference(bytes);
        QVERIFY(!text.isEmpty());
        for (QChar c : text)
            QCOMPARE(c.unicode(), char16_t(0xFFFD));
    }
}

void TestUtf8Decoder::utf8WindowTestAgreesWithQtsDecoder()
{
    // The sniffing test stops at the first invalid byte; Qt's decoder reads the whole window.
    const auto qtSays = [](const QByteArray &window, bool endsHere) {
        QStringDecoder decoder(QStringConverter::Utf8, endsHere ? QStringConverter::Flag::Stateless
                                                                : QStringConverter::Flag::Default);
        const QString text = decoder.decode(window);
        Q_UNUSED(text);
        return !decoder.hasError();
    };
    std::mt19937 random(64);
    const QByteArray alphabet("aa\n\x80\x8f\x90\x9f\xa0\xbf\xc0\xc1\xc2\xdf\xe0\xe4\xed\xef\xf0\xf4"
                              "\xf5\xff\xb8\xad\xbb");
    int valid = 0;
    for (int round = 0; round < 200000; ++round) {
        QByteArray window;
        const int length = int(random() % 12);
        for (int i = 0; i < length; ++i)
            window += alphabet.at(random() % alphabet.size());
        if (round % 3 == 0) // mostly valid text with a tail that may be cut off
            window = QStringLiteral(u"中文é😀").toUtf8().left(int(random() % 14)) + window.left(2);
        for (bool endsHere : {false, true}) {
            const bool expected = qtSays(window, endsHere);
            valid += expected;
            if (platform::isValidUtf8Window(window, endsHere) != expected)
                QFAIL(qPrintable(QStringLiteral("bytes %1, file ends here %2")
                                     .arg(QString::fromLatin1(window.toHex(' ')))
                                     .arg(endsHere)));
        }
    }
    QVERIFY(valid > 20000);
}

QTEST_GUILESS_MAIN(TestUtf8Decoder)
#include "tst_utf8_decoder.moc"
