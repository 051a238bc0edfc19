#include "platform/core/gb18030.h"
#include "platform/core/text_encoding.h"
#include "support/test_files.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

#include <random>

using platform::Encoding;
using platform::TextEncoding;

namespace {

// Characters of everyday Chinese prose, the most frequent first: simplified for GBK text,
// traditional for Big5 text.
const char16_t kSimplified[] =
    u"的一是不了人我在有他这个们中来上大为和国地到以说时要就出会可也你对生能而子那得于着下自之"
    u"年过发后作里用道行所然家种事成方多经么去法学如都同现当没动面起看定天分还进好小部其些主样理"
    u"心她本前开但因只从想实日军者意无力它与长把机十民第公此已工使情明性知全三又关点正业外将两高"
    u"间由问很最重并物手应战向头文体政美相见被利什二等产或新己制身果加西斯月话合回特代内信表化老"
    u"给世位次度门任常先海通教儿原东声提立及比员解水名真论处走义各入几口认条平系气题活尔更别打女"
    u"变四神总何电数安少报才结反受目太量再感建务做接必场件计管期市直德资命山金指克许统区保至队形"
    u"社便空决治展马科司五基眼书非则听白却界达光放强即像难且权思王象完设式色路记南品住告类求据程"
    u"北边死张该交规万取拉格望觉术领共确传师观清今切院让识候带导争运笑飞风步改收根干造言联持组每"
    u"济车亲极林服快办议往元英士证近失转夫令准布始怎呢存未远叫台单影具罗字爱击流备兵连调深商算质"
    u"团集百需价花党华城石级整府离况亚请技际约示复病息究线似官火断精满支视消越器容照须九增研写称";
const char16_t kTraditional[] =
    u"的一是不了人我在有他這個們中來上大為和國地到以說時要就出會可也你對生能而子那得於著下自之"
    u"年過發後作裡用道行所然家種事成方多經麼去法學如都同現當沒動面起看定天分還進好小部其些主樣理"
    u"心她本前開但因只從想實日軍者意無力它與長把機十民第公此已工使情明性知全三又關點正業外將兩高"
    u"間由問很最重並物手應戰向頭文體政美相見被利什二等產或新己制身果加西斯月話合回特代內信表化老"
    u"給世位次度門任常先海通教兒原東聲提立及比員解水名真論處走義各入幾口認條平系氣題活爾更別打女"
    u"變四神總何電數安少報才結反受目太量再感建務做接必場件計管期市直德資命山金指克許統區保至隊形"
    u"社便空決治展馬科司五基眼書非則聽白卻界達光放強即像難且權思王象完設式色路記南品住告類求據程"
    u"北邊死張該交規萬取拉格望覺術領共確傳師觀清今切院讓識候帶導爭運笑飛風步改收根乾造言聯持組每"
    u"濟車親極林服快辦議往元英士證近失轉夫令準布始怎呢存未遠叫台單影具羅字愛擊流備兵連調深商算質"
    u"團集百需價花黨華城石級整府離況亞請技際約示復病息究線似官火斷精滿支視消越器容照須九增研寫稱";

enum class Shape { Prose, Csv, Uniform, WholeGbk };

// A GBK character drawn uniformly from the whole double-byte range: GB2312's characters
// (0xB0-0xF7 with 0xA1-0xFE) and the areas beyond (0x81-0xA0 with 0x40-0xFE, 0xAA-0xFE with
// 0x40-0xA0), whose trail bytes in 0x40-0x7E look like Big5's. Two thirds come from beyond.
QByteArray wholeGbkCharacter(std::mt19937 &random)
{
    for (;;) {
        const int lead = 0x81 + int(random() % (0xFE - 0x81 + 1));
        const int trail = 0x40 + int(random() % (0xFE - 0x40 + 1));
        const bool gb2312 = lead >= 0xB0 && trail >= 0xA1 && !(lead == 0xD7 && trail > 0xF9);
        const bool beyond = trail != 0x7F && (lead <= 0xA0 || (lead >= 0xAA && trail <= 0xA0));
        if (gb2312 || beyond)
            return QByteArray(1, char(lead)) + char(trail);
    }
}

// Text of `size` bytes or more in `codec`: prose (characters drawn with a strong bias to the
// frequent ones, full-width punctuation, line ends), CSV (short fields of characters, numbers and
// ASCII words), GB2312 characters drawn uniformly (as the benchmark corpora are), or GBK CSV
// whose characters come from the whole GBK range.
QByteArray makeText(const char *codec, const char16_t *characters, Shape shape, quint32 seed,
                    qsizetype size)
{
    std::mt19937 random(seed);
    QStringEncoder encoder(codec);
    const QString pool = QString::fromUtf16(characters);
    QByteArray bytes;
    while (bytes.size() < size) {
        QString piece;
        if (shape == Shape::Uniform) {
            const char pair[2] = {char(0xB0 + random() % 40), char(0xA1 + random() % 94)};
            bytes.append(pair, 2);
            continue;
        }
        if (shape == Shape::WholeGbk) {
            bytes +=
                random() % 8 ? wholeGbkCharacter(random) : QByteArray(random() % 2 ? "," : "\r\n");
            continue;
        }
        const quint32 kind = random() % 40;
        const double u = double(random()) / double(std::mt19937::max());
        if (kind == 0)
            piece = QStringLiteral("\r\n");
        else if (kind < 4)
            piece = shape == Shape::Csv ? QStringLiteral(",") : QStringLiteral(u"，");
        else if (kind == 4)
            piece = shape == Shape::Csv ? QString::number(random() % 10000) : QStringLiteral(u"。");
        else if (kind == 5 && shape == Shape::Csv)
            piece = QStringLiteral("data");
        else
            piece = pool.at(qsizetype(u * u * double(pool.size())) % pool.size());
        const QByteArray encoded = encoder.encode(piece);
        if (!encoder.hasError())
            bytes += encoded;
        encoder.resetState();
    }
    return bytes;
}

QString hexOf(QByteArrayView bytes)
{
    return QString::fromLatin1(
        bytes.first(std::min<qsizetype>(bytes.size(), 80)).toByteArray().toHex(' '));
}

} // namespace

class TestTextEncoding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ruleDecidesEachText_data();
    void ruleDecidesEachText();
    void gbkBytesReadAsTheCodePageReadsThem();
    void fourByteSequencesRead_data();
    void fourByteSequencesRead();
    void gbkIsNeverTakenForBig5_data();
    void gbkIsNeverTakenForBig5();
    void big5TextIsDetected_data();
    void big5TextIsDetected();
    void decidedAlikeHoweverFed_data();
    void decidedAlikeHoweverFed();
    void delimitersStandAloneOnlyWhereTheyDo_data();
    void delimitersStandAloneOnlyWhereTheyDo();
};

void TestTextEncoding::ruleDecidesEachText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QString>("text"); // the decoded text (empty: not checked)

    const QByteArray gbk = ::gbk(QStringLiteral(u"批量查找"));
    const int declared = int(TextEncoding::Declared);
    QTest::newRow("a byte-order mark wins over a declared charset")
        << QByteArray("\xEF\xBB\xBF<meta charset=\"big5\">") << int(TextEncoding::Utf8)
        << QByteArray() << QStringLiteral("<meta charset=\"big5\">");
    QTest::newRow("an HTML meta charset")
        << QByteArray("<!DOCTYPE html><html><head><META Charset='Shift_JIS'>") << declared
        << QByteArray("shift_jis") << QString();
    QTest::newRow("an HTML http-equiv charset names GBK: GB18030")
        << QByteArray("<html><meta http-equiv=\"Content-Type\" content=\"text/html; "
                      "charset=gb2312\">") +
               gbk
        << int(TextEncoding::Gb18030) << QByteArray() << QString();
    QTest::newRow("an XML declaration")
        << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>caf\xE9</a>") << declared
        << QByteArray("windows-1252")
        << QStringLiteral(u"<?xml version=\"1.0\" "
                          u"encoding=\"windows-1252\"?><a>café</a>");
    QTest::newRow("a declaration in a text that is not HTML is text")
        << QByteArray("note: <meta charset=big5> ") + gbk << int(TextEncoding::Gb18030)
        << QByteArray() << QStringLiteral(u"note: <meta charset=big5> 批量查找");
    QTest::newRow("an unknown declared charset is passed over")
        << QByteArray("<meta charset=\"no-such-charset\">\xE4\xB8\xAD") << int(TextEncoding::Utf8)
        << QByteArray() << QStringLiteral(u"<meta charset=\"no-such-charset\">中");
    QTest::newRow("a declared UTF-16 in bytes that read as ASCII is passed over")
        << QByteArray("<meta charset=\"utf-16\">") + gbk << int(TextEncoding::Gb18030)
        << QByteArray() << QString();
    QTest::newRow("valid UTF-8") << QByteArray("abc \xE4\xBD\xA0\xE5\xA5\xBD")
                                 << int(TextEncoding::Utf8) << QByteArray()
                                 << QStringLiteral(u"abc 你好");
    const QString mixed = QStringLiteral(u"Quarlex 查找 files, 2024\r\n");
    QTest::newRow("UTF-16 LE without a mark")
        << QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(mixed))
        << int(TextEncoding::Utf16LE) << QByteArray() << mixed;
    QTest::newRow("UTF-16 BE without a mark")
        << QByteArray(QStringEncoder(QStringConverter::Utf16BE).encode(mixed))
        << int(TextEncoding::Utf16BE) << QByteArray() << mixed;
    QTest::newRow("UTF-16 of Chinese only cannot be told: GB18030")
        << QByteArray(
               QStringEncoder(QStringConverter::Utf16LE).encode(QStringLiteral(u"批量查找文件")))
        << int(TextEncoding::Gb18030) << QByteArray() << QString();
    QTest::newRow("zeros on both sides are binary, not UTF-16")
        << QByteArray("\0\0ab\0\0cd\0\0\0\0ef\0\0", 16) << int(TextEncoding::Gb18030)
        << QByteArray() << QString();
    QTest::newRow("long Big5 text") << makeText("Big5", kTraditional, Shape::Prose, 7, 2048)
                                    << int(TextEncoding::Big5) << QByteArray() << QString();
    QTest::newRow("short Big5 text is too short to tell: GB18030")
        << QByteArray(QStringEncoder("Big5").encode(QStringLiteral(u"這個檔案")))
        << int(TextEncoding::Gb18030) << QByteArray() << QString();
    QTest::newRow("GB18030 four-byte characters")
        << QByteArray(QStringEncoder("GB18030").encode(QStringLiteral(u"𠀀한국어ᠮᠣᠩ")))
        << int(TextEncoding::Gb18030) << QByteArray() << QStringLiteral(u"𠀀한국어ᠮᠣᠩ");
    QTest::newRow("short GBK") << gbk.left(2) << int(TextEncoding::Gb18030) << QByteArray()
                               << QStringLiteral(u"批");
    QTest::newRow("nothing but ASCII") << QByteArray("plain, text") << int(TextEncoding::Gb18030)
                                       << QByteArray() << QStringLiteral("plain, text");
}

void TestTextEncoding::ruleDecidesEachText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(QByteArray, charset);
    QFETCH(QString, text);
    int bomLength = -1;
    const Encoding decided = platform::detectTextEncoding(bytes, &bomLength);
    QCOMPARE(int(decided.kind), encoding);
    QCOMPARE(decided.charset, charset);
    if (!text.isEmpty())
        QCOMPARE(platform::decodeText(QByteArrayView(bytes).sliced(bomLength), decided), text);
}

// Every single byte and every two bytes that a lead byte begins read exactly as the GBK code page
// reads them, whole and fed one byte at a time, except a lead byte and a digit, which may begin
// a four-byte sequence: that the code page reads its own way only when no four-byte sequence
// follows.
void TestTextEncoding::gbkBytesReadAsTheCodePageReadsThem()
{
    QVERIFY(platform::Gb18030Tables::instance().usable());
    QStringDecoder gbk("GBK");
    int checked = 0;
    for (int first = 0; first < 0x100; ++first) {
        for (int second = -1; second < 0x100; ++second) {
            QByteArray bytes(1, char(first));
            if (second >= 0)
                bytes += char(second);
            bytes += "x,";
            const QString expected = platform::decodeField(gbk, bytes);
            QCOMPARE(platform::decodeGb18030(bytes), expected);
            platform::Gb18030Decoder decoder;
            QString piecewise;
            for (const char c : std::as_const(bytes))
                decoder.append(piecewise, &c, 1);
            decoder.appendFinish(piecewise);
            if (piecewise != expected)
                QFAIL(qPrintable(hexOf(bytes)));
            ++checked;
        }
    }
    QCOMPARE(checked, 256 * 257);
}

void TestTextEncoding::fourByteSequencesRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("CJK Extension B") << QStringLiteral(u"𠀀𪚥𫝆");
    QTest::newRow("Hangul among GBK characters") << QStringLiteral(u"韩国语한국어,查找");
    QTest::newRow("Mongolian and Tibetan") << QStringLiteral(u"ᠮᠣᠩᠭᠣᠯ བོད་");
    QTest::newRow("digits after characters") << QStringLiteral(u"第1章2024年5月");
}

void TestTextEncoding::fourByteSequencesRead()
{
    QFETCH(QString, text);
    QStringEncoder encoder("GB18030");
    const QByteArray bytes = encoder.encode(text);
    QVERIFY(!encoder.hasError());
    QCOMPARE(platform::decodeGb18030(bytes), text);
    // Cut anywhere, fed in two pieces: the same text.
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        platform::Gb18030Decoder decoder;
        QString piecewise;
        decoder.append(piecewise, bytes.constData(), cut);
        decoder.append(piecewise, bytes.constData() + cut, bytes.size() - cut);
        decoder.appendFinish(piecewise);
        QCOMPARE(piecewise, text);
    }
    // A sequence cut off by the end of the field: its lead byte is U+FFFD, the rest read alone.
    const QByteArray fourByte = encoder.encode(QStringLiteral(u"한"));
    QCOMPARE(fourByte.size(), 4);
    QCOMPARE(platform::decodeGb18030(fourByte.left(3)), QChar(QChar::ReplacementCharacter) +
                                                            QString(QLatin1Char(fourByte.at(1))) +
                                                            QChar(QChar::ReplacementCharacter));
}

void TestTextEncoding::gbkIsNeverTakenForBig5_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<QByteArray>("characters"); // UTF-16 of the pool, or empty
    QTest::addColumn<quint32>("seed");
    const QByteArray simplified(reinterpret_cast<const char *>(kSimplified), sizeof(kSimplified));
    const QByteArray traditional(reinterpret_cast<const char *>(kTraditional),
                                 sizeof(kTraditional));
    for (const quint32 seed : {1u, 2u, 3u}) {
        QTest::addRow("simplified prose, seed %u", seed) << int(Shape::Prose) << simplified << seed;
        QTest::addRow("simplified CSV, seed %u", seed) << int(Shape::Csv) << simplified << seed;
        // GBK holds the traditional characters too, many with trail bytes in 0x40-0x7E as Big5.
        QTest::addRow("traditional prose in GBK, seed %u", seed)
            << int(Shape::Prose) << traditional << seed;
        QTest::addRow("uniform GB2312 characters, seed %u", seed)
            << int(Shape::Uniform) << QByteArray() << seed;
        QTest::addRow("the whole GBK range in CSV, seed %u", seed)
            << int(Shape::WholeGbk) << QByteArray() << seed;
    }
}

// Every length from 2 bytes to 2 KiB, then every 61st to 16 KiB, then 32 and 64 KiB.
void TestTextEncoding::gbkIsNeverTakenForBig5()
{
    QFETCH(int, shape);
    QFETCH(QByteArray, characters);
    QFETCH(quint32, seed);
    const auto *pool = reinterpret_cast<const char16_t *>(characters.constData());
    const QByteArray text =
        makeText("GBK", characters.isEmpty() ? kSimplified : pool, Shape(shape), seed, 64 * 1024);
    QList<qsizetype> lengths;
    for (qsizetype n = 2; n <= 2048; ++n)
        lengths.append(n);
    for (qsizetype n = 2048 + 61; n <= 16 * 1024; n += 61)
        lengths.append(n);
    lengths << 32 * 1024 << 64 * 1024;
    int big5 = 0;
    for (const qsizetype n : std::as_const(lengths)) {
        if (platform::detectTextEncoding(QByteArrayView(text).first(n)).kind ==
            TextEncoding::Big5) {
            ++big5;
            qWarning("taken for Big5 at %lld bytes: %s", qlonglong(n), qPrintable(hexOf(text)));
        }
    }
    qInfo("%lld lengths, %d taken for Big5", qlonglong(lengths.size()), big5);
    QCOMPARE(big5, 0);
}

void TestTextEncoding::big5TextIsDetected_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("size");
    for (const quint32 seed : {1u, 2u, 3u, 4u, 5u}) {
        for (const int size : {1024, 2048, 8192, 65536}) {
            QTest::addRow("prose of %d bytes, seed %u", size, seed)
                << int(Shape::Prose) << seed << size;
            QTest::addRow("CSV of %d bytes, seed %u", size, seed)
                << int(Shape::Csv) << seed << size;
        }
    }
}

void TestTextEncoding::big5TextIsDetected()
{
    QFETCH(int, shape);
    QFETCH(quint32, seed);
    QFETCH(int, size);
    const QByteArray text = makeText("Big5", kTraditional, Shape(shape), seed, size).left(size);
    const Encoding decided = platform::detectTextEncoding(text);
    QCOMPARE(int(decided.kind), int(TextEncoding::Big5));
}

void TestTextEncoding::decidedAlikeHoweverFed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    constexpr qsizetype kFile = 50 * 1024;
    const auto big5 = [](quint32 seed, qsizetype size) {
        return makeText("Big5", kTraditional, Shape::Prose, seed, size);
    };
    const int gb18030 = int(TextEncoding::Gb18030);
    QTest::newRow("GBK CSV drawing on the whole GBK range is GB18030")
        << makeText("GBK", kSimplified, Shape::WholeGbk, 11, kFile) << gb18030;
    QTest::newRow("traditional prose in GBK is GB18030")
        << makeText("GBK", kTraditional, Shape::Prose, 12, kFile) << gb18030;
    QTest::newRow("GB2312 CSV is GB18030")
        << makeText("GBK", kSimplified, Shape::Csv, 13, kFile) << gb18030;
    QTest::newRow("Big5 prose is Big5") << big5(14, kFile) << int(TextEncoding::Big5);
    QTest::newRow("Big5 CSV after a line of ASCII is Big5")
        << QByteArray("id,name,note\r\n") + makeText("Big5", kTraditional, Shape::Csv, 15, kFile)
        << int(TextEncoding::Big5);
    // A character only GBK has (lead 0x81, trail 0x80) between Big5 characters, three times.
    QByteArray broken = big5(16, 3000);
    for (const quint32 seed : {17u, 18u, 19u})
        broken += QByteArray("\x81\x80") + big5(seed, 3000);
    QTest::newRow("Big5 with a few characters only GBK has is Big5")
        << broken << int(TextEncoding::Big5);
    // Big5 pairs and the four-byte sequences of GB18030, which Big5 has not.
    QByteArray fourByte;
    const QByteArray hangul = QStringEncoder("GB18030").encode(QStringLiteral(u"한"));
    for (quint32 seed = 100; seed < 160; ++seed)
        fourByte += big5(seed, 60) + hangul;
    QTest::newRow("Big5 pairs among four-byte sequences are GB18030") << fourByte << gb18030;
    QTest::newRow("sequences only GBK has after the Big5 sample do not count")
        << big5(21, platform::kBig5Sample + 100) +
               makeText("GBK", kSimplified, Shape::WholeGbk, 22, kFile)
        << int(TextEncoding::Big5);
    QTest::newRow("UTF-8 Chinese is UTF-8")
        << QString(QStringDecoder("Big5").decode(big5(23, kFile))).toUtf8()
        << int(TextEncoding::Utf8);
}

// Whole, and fed to the sniffer in pieces of several sizes: the same encoding, however early the
// pieces settle it.
void TestTextEncoding::decidedAlikeHoweverFed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QCOMPARE(int(platform::detectTextEncoding(bytes).kind), encoding);
    for (const qsizetype piece : {7, 61, 4096}) {
        platform::EncodingSniffer sniffer;
        std::optional<TextEncoding> decided;
        qsizetype at = 0;
        for (; at < bytes.size() && !decided; at += piece)
            decided = sniffer.feed(
                QByteArrayView(bytes).sliced(at).first(std::min(piece, bytes.size() - at)));
        const TextEncoding kind = decided ? *decided : sniffer.finish();
        if (int(kind) != encoding)
            QFAIL(qPrintable(QStringLiteral("pieces of %1: %2").arg(piece).arg(int(kind))));
    }
}

void TestTextEncoding::delimitersStandAloneOnlyWhereTheyDo_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<bool>("bytes");
    QTest::newRow("Shift-JIS") << QByteArray("shift_jis") << true;
    QTest::newRow("windows-1252") << QByteArray("windows-1252") << true;
    QTest::newRow("EUC-KR") << QByteArray("euc-kr") << true;
    QTest::newRow("ISO-2022-JP makes characters of ASCII bytes")
        << QByteArray("iso-2022-jp") << false;
    QTest::newRow("HZ makes characters of ASCII bytes") << QByteArray("hz-gb-2312") << false;
}

void TestTextEncoding::delimitersStandAloneOnlyWhereTheyDo()
{
    QFETCH(QByteArray, charset);
    QFETCH(bool, bytes);
    const std::optional<Encoding> encoding = platform::encodingNamed(charset);
    QVERIFY(encoding);
    QCOMPARE(int(encoding->kind), int(TextEncoding::Declared));
    QCOMPARE(platform::cutsAsBytes(*encoding), bytes);
}

QTEST_GUILESS_MAIN(TestTextEncoding)
#include "tst_core_text_encoding.moc"
