#include "platform/core/field_cutter.h"
#include "platform/core/file_slot.h"
#include "platform/core/text_encoding.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using platform::FileSlot;
using platform::TextEncoding;

namespace {

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes,
                  const QString &name = QStringLiteral("f.txt"))
{
    return writeTestFile(dir.path(), name, bytes);
}

QStringList readAllFields(FileSlot &slot)
{
    QStringList fields;
    QString field;
    while (!slot.atEnd()) {
        if (!slot.readField(field))
            break;
        fields << field;
    }
    return fields;
}

// Cuts `bytes` with chunks of `chunk` bytes and returns the fields.
QList<QByteArray> cutInChunks(const QByteArray &bytes, qsizetype chunk)
{
    struct Sink
    {
        QByteArray current;
        void append(const char *p, qsizetype n) { current.append(p, n); }
    } sink;
    platform::FieldCutter<char> cutter;
    QList<QByteArray> fields;
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        const char *p = bytes.constData() + at;
        const char *end = p + qMin(chunk, bytes.size() - at);
        while (p < end) {
            if (cutter.cut(p, end, sink)) {
                fields << sink.current;
                sink.current.clear();
            }
        }
    }
    if (!sink.current.isEmpty())
        fields << sink.current;
    return fields;
}

} // namespace

class TestFileSlot : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fieldsFollowTheReadingRules_data();
    void fieldsFollowTheReadingRules();
    void cuttingDoesNotDependOnChunkSize();
    void encodingIsChosenPerFile_data();
    void encodingIsChosenPerFile();
    void invalidAndTruncatedBytesBecomeReplacementCharacters();
    void writtenLinesAreCodePageWithCrLf();
    void unencodableTextCanBeWrittenAsUtf8WithBom();
    void openingAgainClosesTheOpenFile();
    void failuresAreReportedAsValues();
    void aReadErrorEndsTheInputAndIsTold();
    void outputReplacesTheTargetOnlyWhenClosed();
};

void TestFileSlot::fieldsFollowTheReadingRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields");
    const auto l = [](std::initializer_list<const char16_t *> items) {
        QStringList out;
        for (const char16_t *s : items)
            out << QString::fromUtf16(s);
        return out;
    };
    QTest::newRow("a comma and a line end delimit fields")
        << QByteArray("alpha, beta\r\n\"gam,ma\"\r\n") << l({u"alpha", u"beta", u"gam,ma"});
    QTest::newRow("leading spaces are skipped") << QByteArray("a,  b") << l({u"a", u"b"});
    QTest::newRow("an empty file has no field") << QByteArray() << QStringList();
    QTest::newRow("no delimiter makes one field") << QByteArray("whole") << l({u"whole"});
    QTest::newRow("two commas give an empty field") << QByteArray("a,,b") << l({u"a", u"", u"b"});
    QTest::newRow("an empty line gives an empty field")
        << QByteArray("a\r\n\r\nb") << l({u"a", u"", u"b"});
    QTest::newRow("lone CR and lone LF each end a field")
        << QByteArray("a\rb\nc") << l({u"a", u"b", u"c"});
    QTest::newRow("CR LF split is one delimiter at the end") << QByteArray("a\r\n") << l({u"a"});
    QTest::newRow("quoted line ends belong to the field")
        << QByteArray("\"x\r\ny\",z") << l({u"x\r\ny", u"z"});
    QTest::newRow("tabs are kept") << QByteArray("\ta\tb") << l({u"\ta\tb"});
    QTest::newRow("trailing blanks are kept") << QByteArray("a  ,b") << l({u"a  ", u"b"});
    QTest::newRow("an unclosed quote runs to the end")
        << QByteArray("\"a,b\r\nc") << l({u"a,b\r\nc"});
    QTest::newRow("a quote inside an unquoted field is kept")
        << QByteArray("ab\"c,d") << l({u"ab\"c", u"d"});
    QTest::newRow("spaces after a closing quote are skipped")
        << QByteArray("\"a\"  ,b") << l({u"a", u"b"});
    QTest::newRow("text after a closing quote begins the next field")
        << QByteArray("\"a\"bc,d") << l({u"a", u"bc", u"d"});
    QTest::newRow("NUL, byte 26 and other control bytes are ordinary")
        << QByteArray("a\0b\x1a"
                      "c\x01",
                      6)
        << QStringList{QString::fromUtf16(u"a\0b\x1a"
                                          "c\x01",
                                          6)};
    QTest::newRow("GBK Chinese is one character per Chinese character")
        << QByteArray("\xc4\xe3\xba\xc3,\xca\xc0\xbd\xe7") << l({u"你好", u"世界"});
    QTest::newRow("a GBK trail byte that looks like a quote cannot exist, ASCII trail bytes can")
        << QByteArray("\x81\x40,x") << l({u"丂", u"x"});
}

void TestFileSlot::fieldsFollowTheReadingRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    QTemporaryDir dir;
    FileSlot slot;
    QVERIFY(slot.openInput(writeFile(dir, bytes)));
    QCOMPARE(readAllFields(slot), fields);
    QVERIFY(slot.atEnd());
    QVERIFY(slot.closeAll());
    QVERIFY(!slot.isOpen());
}

void TestFileSlot::cuttingDoesNotDependOnChunkSize()
{
    const QByteArray bytes("  one,\"two, \r\n\"  ,three\r\n\r\nfour\"x\r\"q\"r\n,\n\"unclosed");
    const QList<QByteArray> whole = cutInChunks(bytes, bytes.size());
    QCOMPARE(whole.size(), 10);
    for (qsizetype chunk = 1; chunk < bytes.size(); ++chunk)
        QCOMPARE(cutInChunks(bytes, chunk), whole);
}

void TestFileSlot::encodingIsChosenPerFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("text");
    QTest::newRow("a UTF-8 mark makes UTF-8 and is not text")
        << QByteArray("\xef\xbb\xbf\xe4\xbd\xa0") << int(TextEncoding::Utf8)
        << QStringLiteral(u"你");
    QTest::newRow("a UTF-16 LE mark makes UTF-16 LE")
        << QByteArray("\xff\xfe\x60\x4f,\x00\x7d\x59", 8) << int(TextEncoding::Utf16LE)
        << QStringLiteral(u"你好");
    QTest::newRow("a UTF-16 BE mark makes UTF-16 BE")
        << QByteArray("\xfe\xff\x4f\x60\x00\r\x00\n\x59\x7d", 10) << int(TextEncoding::Utf16BE)
        << QStringLiteral(u"你好");
    QTest::newRow("valid UTF-8 without a mark is UTF-8")
        << QByteArray("abc \xe4\xbd\xa0\xe5\xa5\xbd") << int(TextEncoding::Utf8)
        << QStringLiteral(u"abc 你好");
    QTest::newRow("anything else is GB18030")
        << QByteArray("abc \xc4\xe3\xba\xc3") << int(TextEncoding::Gb18030)
        << QStringLiteral(u"abc 你好");
    QTest::newRow("UTF-8 cut off at the end of the file is not UTF-8")
        << QByteArray("\xe4\xbd\xa0\xe4\xbd") << int(TextEncoding::Gb18030)
        << QStringLiteral(u"浣犱\uFFFD");
}

void TestFileSlot::encodingIsChosenPerFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(QString, text);
    QTemporaryDir dir;
    FileSlot slot;
    QVERIFY(slot.openInput(writeFile(dir, bytes)));
    QCOMPARE(int(slot.inputEncoding().kind), encoding);
    QCOMPARE(readAllFields(slot).join(QString()), text);
}

void TestFileSlot::invalidAndTruncatedBytesBecomeReplacementCharacters()
{
    QTemporaryDir dir;
    FileSlot slot;
    // A lone GBK lead byte at the end of a field, one before a space, and an odd UTF-16 byte.
    QVERIFY(slot.openInput(writeFile(dir, QByteArray("a\xc4,\xc4 b,\xff"))));
    QCOMPARE(readAllFields(slot),
             (QStringList{QStringLiteral(u"a\uFFFD"), QStringLiteral(u"\uFFFD b"),
                          QStringLiteral(u"\uF8F5")}));
    QVERIFY(slot.openInput(
        writeFile(dir, QByteArray("\xff\xfe\x41\x00\x42", 5), QStringLiteral("u16"))));
    QCOMPARE(readAllFields(slot), QStringList{QStringLiteral(u"A\uFFFD")});
}

void TestFileSlot::writtenLinesAreCodePageWithCrLf()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    FileSlot slot;
    QVERIFY(slot.openOutput(path));
    QVERIFY(slot.writeLine(QStringLiteral(u"[路径]")));
    QVERIFY(slot.writeLine(QString()));
    QVERIFY(slot.closeAll());
    QCOMPARE(readAll(path), QByteArray("[\xc2\xb7\xbe\xb6]\r\n\r\n"));
}

void TestFileSlot::unencodableTextCanBeWrittenAsUtf8WithBom()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    const QString text = QStringLiteral(u"/home/ü/😀");
    QVERIFY(!platform::isCodePageEncodable(text));
    QVERIFY(platform::isCodePageEncodable(QStringLiteral(u"/home/路径")));
    FileSlot slot;
    QVERIFY(slot.openOutput(path, FileSlot::OutputEncoding::Utf8WithBom));
    QVERIFY(slot.writeLine(text));
    QVERIFY(slot.closeAll());
    QVERIFY(slot.openInput(path));
    QCOMPARE(readAllFields(slot), QStringList{text});
}

void TestFileSlot::openingAgainClosesTheOpenFile()
{
    QTemporaryDir dir;
    const QString first = writeFile(dir, "one,two", QStringLiteral("1"));
    const QString second = writeFile(dir, "three", QStringLiteral("2"));
    FileSlot slot;
    QVERIFY(slot.openInput(first));
    QString field;
    QVERIFY(slot.readField(field));
    QCOMPARE(field, QStringLiteral("one"));
    QVERIFY(slot.openInput(second));
    QCOMPARE(readAllFields(slot), QStringList{QStringLiteral("three")});

    // Output that was being written is committed when the slot is opened again.
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(slot.openOutput(out));
    QVERIFY(slot.writeLine(QStringLiteral("x")));
    QVERIFY(slot.openInput(second));
    QVERIFY(QFile::exists(out));
    QCOMPARE(QFileInfo(out).size(), 3);
}

void TestFileSlot::failuresAreReportedAsValues()
{
    QTemporaryDir dir;
    FileSlot slot;
    QVERIFY(!slot.openInput(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(!slot.errorString().isEmpty());
    QVERIFY(!slot.isOpen());
    QVERIFY(slot.atEnd());
    QString field;
    QVERIFY(!slot.readField(field));
    QVERIFY(!slot.writeLine(QStringLiteral("x")));
    QVERIFY(!slot.openOutput(dir.filePath(QStringLiteral("no/such/folder/file"))));
    QVERIFY(slot.closeAll());
}

void TestFileSlot::aReadErrorEndsTheInputAndIsTold()
{
    // Reading this process's memory from address 0 fails with an I/O error.
    const QString memory = QStringLiteral("/proc/self/mem");
    FileSlot slot;
    if (!slot.openInput(memory))
        QSKIP("/proc/self/mem cannot be opened here.");
    QVERIFY(slot.atEnd());
    QVERIFY(slot.readFailed());
    QVERIFY(!slot.errorString().isEmpty());
    QString field;
    QVERIFY(!slot.readField(field));
    QVERIFY(slot.atEnd()); // no further read is tried

    // The next file starts clean.
    QTemporaryDir dir;
    QVERIFY(slot.openInput(writeFile(dir, "a,b")));
    QVERIFY(!slot.readFailed());
    QVERIFY(slot.errorString().isEmpty());
    QCOMPARE(readAllFields(slot), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QVERIFY(!slot.readFailed());
}

void TestFileSlot::outputReplacesTheTargetOnlyWhenClosed()
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "old\r\n", QStringLiteral("keep"));
    {
        FileSlot slot;
        QVERIFY(slot.openOutput(path));
        QVERIFY(slot.writeLine(QStringLiteral("new")));
        QCOMPARE(readAll(path), QByteArray("old\r\n"));
    }
    QCOMPARE(readAll(path), QByteArray("new\r\n"));
}

QTEST_GUILESS_MAIN(TestFileSlot)
#include "tst_core_file_slot.moc"
