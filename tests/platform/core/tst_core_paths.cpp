#include "platform/core/paths.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::displayName;
using platform::hasRawBytes;
using platform::nativePath;
using platform::pathFromNative;

// "测试" and "文件" in GBK.
static const QByteArray kGbkTest("\xb2\xe2\xca\xd4");
static const QByteArray kGbkFile("\xce\xc4\xbc\xfe");

// How names the file system gives are held, given back and shown.
class TestPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytesComeBackExactly_data();
    void bytesComeBackExactly();
    void randomBytesComeBackExactly();
    void utf8NamesAreHeldAsTheirText_data();
    void utf8NamesAreHeldAsTheirText();
    void rawComponentsAreShownAsGb18030_data();
    void rawComponentsAreShownAsGb18030();
    void namesAreShownOnOneLineInTheirOrder_data();
    void namesAreShownOnOneLineInTheirOrder();
    void fileUrlNamesTheBytes();
    void aShownPathFindsTheBytesOnDisk();
};

void TestPaths::bytesComeBackExactly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("a GBK name") << kGbkTest;
    QTest::newRow("a GBK folder below UTF-8 folders")
        << QByteArray("/home/\xe7\x94\xa8\xe6\x88\xb7/") + kGbkTest + "/a.txt";
    QTest::newRow("a lone continuation byte") << QByteArray("/x/a\x80"
                                                            "b");
    QTest::newRow("a UTF-8 sequence cut short") << QByteArray("/x/\xe6\x96");
    QTest::newRow("an encoded surrogate") << QByteArray("/x/\xed\xa0\x80");
    QTest::newRow("an overlong slash") << QByteArray("/x/\xc0\xaf");
    QTest::newRow("bytes that look like the held form's surrogates in UTF-8")
        << QByteArray("/\xed\xb2\xb2\xed\xb3\x8a");
    QByteArray every;
    for (int b = 1; b < 256; ++b)
        every += char(b);
    QTest::newRow("every byte but NUL") << every;
}

void TestPaths::bytesComeBackExactly()
{
    QFETCH(QByteArray, bytes);
    const QString held = pathFromNative(bytes);
    QCOMPARE(nativePath(held), bytes);
    QVERIFY(hasRawBytes(held));
    // The held form is one for each name: reading its bytes again gives the same string.
    QCOMPARE(pathFromNative(nativePath(held)), held);
}

void TestPaths::randomBytesComeBackExactly()
{
    QRandomGenerator random(18);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(int(random.bounded(1, 24)), Qt::Uninitialized);
        for (char &b : bytes)
            b = char(random.bounded(1, 256));
        QCOMPARE(nativePath(pathFromNative(bytes)), bytes);
    }
}

void TestPaths::utf8NamesAreHeldAsTheirText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QStringLiteral("/tmp/a b/c.txt");
    QTest::newRow("Chinese") << QStringLiteral(u"/home/用户/文档/报告.docx");
    QTest::newRow("outside the basic plane") << QStringLiteral(u"/x/𠀀😀");
    QTest::newRow("the replacement character itself") << QStringLiteral(u"/x/\uFFFD");
    QTest::newRow("a byte-order mark") << QStringLiteral(u"/\uFEFFname");
}

void TestPaths::utf8NamesAreHeldAsTheirText()
{
    QFETCH(QString, text);
    QCOMPARE(pathFromNative(text.toUtf8()), text);
    QCOMPARE(nativePath(text), text.toUtf8());
    QVERIFY(!hasRawBytes(text));
    QCOMPARE(displayName(text), text);
}

void TestPaths::rawComponentsAreShownAsGb18030_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a GBK name") << kGbkTest << QStringLiteral(u"测试");
    QTest::newRow("only the GBK component is decoded as GBK")
        << QByteArray("/data/\xe4\xb8\x8b\xe8\xbd\xbd/") + kGbkTest + "/" + kGbkFile + ".txt"
        << QStringLiteral(u"/data/下载/测试/文件.txt");
    QTest::newRow("a GBK name that is valid UTF-8 too is read as UTF-8")
        << QByteArray("/\xc3\xa9") << QStringLiteral(u"/é");
    QTest::newRow("a four-byte GB18030 character")
        << QByteArray("/\x95\x32\x82\x36") << QStringLiteral(u"/𠀀");
}

void TestPaths::rawComponentsAreShownAsGb18030()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(displayName(pathFromNative(bytes)), shown);
}

void TestPaths::namesAreShownOnOneLineInTheirOrder_data()
{
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a plain name is shown as it is")
        << QStringLiteral(u"/tmp/合同 (1)\\a.docx") << QStringLiteral(u"/tmp/合同 (1)\\a.docx");
    QTest::newRow("CR LF and spaces cannot start an entry of their own")
        << QStringLiteral(u"y.txt\r\n  合同.docx：\r\n伪造")
        << QStringLiteral(u"y.txt\\r\\n  合同.docx：\\r\\n伪造");
    QTest::newRow("a tab, an escape, DEL and a C1 control")
        << QStringLiteral(u"a\tb\x1b[31m\x7f\u0085")
        << QStringLiteral(u"a\\tb\\u001B[31m\\u007F\\u0085");
    QTest::newRow("the line and paragraph separators")
        << QStringLiteral(u"a\u2028b\u2029c") << QStringLiteral(u"a\\u2028b\\u2029c");
    QTest::newRow("a right-to-left override cannot turn txt.exe into exe.txt")
        << QStringLiteral(u"rlo\u202Etxt.exe") << QStringLiteral(u"rlo\\u202Etxt.exe");
    QTest::newRow("embeddings, isolates and marks")
        << QStringLiteral(u"\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069\u200E\u200F\u061C")
        << QStringLiteral(
               u"\\u202A\\u202B\\u202C\\u202D\\u2066\\u2067\\u2068\\u2069\\u200E\\u200F\\u061C");
    QTest::newRow("a GBK name is decoded before it is escaped")
        << pathFromNative(QByteArray(QByteArray("/x/") + kGbkTest + "\n.txt"))
        << QStringLiteral(u"/x/测试\\n.txt");
}

void TestPaths::namesAreShownOnOneLineInTheirOrder()
{
    QFETCH(QString, held);
    QFETCH(QString, shown);
    QCOMPARE(platform::visibleName(held), shown);
}

void TestPaths::fileUrlNamesTheBytes()
{
    const QString held = pathFromNative(QByteArray(QByteArray("/tmp/a b/") + kGbkTest + "%.txt"));
    QCOMPARE(platform::fileUrl(held), QByteArray("file:///tmp/a%20b/%B2%E2%CA%D4%25.txt"));
}

void TestPaths::aShownPathFindsTheBytesOnDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray base = QFile::encodeName(dir.path());
    const QByteArray gbkFolder = base + "/" + kGbkTest;
    const QByteArray inner = gbkFolder + "/" + kGbkFile;
    QCOMPARE(::mkdir(gbkFolder.constData(), 0700), 0);
    QCOMPARE(::mkdir(inner.constData(), 0700), 0);
    const QString held = pathFromNative(inner);
    QCOMPARE(platform::pathFromDisplay(displayName(held)), held);
    // A folder whose UTF-8 name is the text shown is taken before the GBK one.
    const QString utf8 = dir.path() + QStringLiteral(u"/测试");
    QCOMPARE(::mkdir(utf8.toUtf8().constData(), 0700), 0);
    QCOMPARE(platform::pathFromDisplay(utf8), utf8);
    // What exists in neither form stays as written.
    const QString missing = dir.path() + QStringLiteral(u"/不在/测试");
    QCOMPARE(platform::pathFromDisplay(missing), missing);
    // Qt removes by decoded names, which cannot name these folders.
    QCOMPARE(::rmdir(inner.constData()), 0);
    QCOMPARE(::rmdir(gbkFolder.constData()), 0);
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_core_paths.moc"
