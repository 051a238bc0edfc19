#include "search/core/search_text.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using search::ReadSearchText;
using search::ReadStatus;

class TestSearchText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void fieldRules_data();
    void fieldRules();
    void chineseTextIsOneCharacterPerChineseCharacter_data();
    void chineseTextIsOneCharacterPerChineseCharacter();
    void yieldRunsOncePerField_data();
    void yieldRunsOncePerField();
    void missingFileIsReportedAsFailure();
    void directoryIsReportedAsFailure();
    void unreadableFileIsReportedAsFailure();
    void fileTruncatedWhileReadEndsWithoutFailure();

private:
    QString write(const QString &name, const QByteArray &bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSearchText::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestSearchText::write(const QString &name, const QByteArray &bytes)
{
    return writeTestFile(m_dir->path(), name, bytes);
}

static QByteArray bytes(const char *data, qsizetype size)
{
    return QByteArray(data, size);
}

void TestSearchText::fieldRules_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    QTest::newRow("a comma, a space and a quoted line vanish between the fields")
        << QByteArray("alpha, beta\r\n\"gam,ma\"\r\n") << QStringLiteral("alphabetagam,ma");
    QTest::newRow("a comma between two letters reads as if it were not there")
        << QByteArray("a,b") << QStringLiteral("ab");
    QTest::newRow("two letters without a comma read as they stand")
        << QByteArray("ab") << QStringLiteral("ab");
    QTest::newRow("a quoted field keeps its comma")
        << QByteArray("\"x,y\"") << QStringLiteral("x,y");
    QTest::newRow("leading spaces of a field are lost")
        << QByteArray("a,  b") << QStringLiteral("ab");
    QTest::newRow("an empty file gives an empty search text") << QByteArray() << QString();
    QTest::newRow("a word split by CR LF is joined again")
        << QByteArray("key\r\nword") << QStringLiteral("keyword");
    QTest::newRow("a lone LF and a lone CR end fields too")
        << QByteArray("a\nb\rc") << QStringLiteral("abc");
    QTest::newRow("a file without a comma or a line end is one field")
        << QByteArray("one long field; with: punctuation")
        << QStringLiteral("one long field; with: punctuation");
    QTest::newRow("empty lines and two commas in a row add nothing")
        << QByteArray("a,,b\r\n\r\n\nc,") << QStringLiteral("abc");
    QTest::newRow("tab characters are ordinary characters")
        << QByteArray("\ta,b\t\r\n\t") << QStringLiteral("\tab\t\t");
    QTest::newRow("trailing blanks of an unquoted field are kept")
        << QByteArray("a  ,b \r\nc") << QStringLiteral("a  b c");
    QTest::newRow("spaces inside a quoted field are kept")
        << QByteArray("\"  a b \",c") << QStringLiteral("  a b c");
    QTest::newRow("line ends inside a quoted field are kept")
        << QByteArray("\"a\r\nb\"\r\nc") << QStringLiteral("a\r\nbc");
    QTest::newRow("a quote that is never closed runs to the end of the file")
        << QByteArray("x,\"ab,c\r\nd") << QStringLiteral("xab,c\r\nd");
    QTest::newRow("a quote inside an unquoted field is kept")
        << QByteArray("ab\"c\"d,e") << QStringLiteral("ab\"c\"de");
    QTest::newRow("text after a closing quote begins the next field")
        << QByteArray("\"ab\"cd,e") << QStringLiteral("abcde");
    QTest::newRow("spaces after a closing quote are skipped before the delimiter")
        << QByteArray("\"ab\"   ,c") << QStringLiteral("abc");
    QTest::newRow("NUL and other control bytes are ordinary characters")
        << bytes("a\0b\x01\x7f"
                 "c",
                 6)
        << QStringView(u"a\0b\x01\x7f"
                       "c",
                       6)
               .toString();
    QTest::newRow("byte 26 is an ordinary character, not the end of the file")
        << QByteArray("ab\x1a"
                      "cd,ef")
        << QStringLiteral("ab\x1a"
                          "cdef");
    QTest::newRow("invalid GBK bytes decode to U+FFFD")
        << QByteArray("a\x81 b,\x81,c") << QStringLiteral(u"a\uFFFD b\uFFFDc");
    QTest::newRow("a lead byte cut off by a comma is U+FFFD and the comma still ends the field")
        << QByteArray("\xD6\xD0\xCE,\xC4") << QStringLiteral(u"中\uFFFD\uFFFD");
}

void TestSearchText::fieldRules()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const auto result = ReadSearchText(write(QStringLiteral("f.txt"), content));
    QVERIFY(result.ok());
    QCOMPARE(result.text, expected);
}

void TestSearchText::chineseTextIsOneCharacterPerChineseCharacter_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    // 中 D6D0, 文 CEC4, 查 B2E9, 找 D5D2 in GBK.
    QTest::newRow("GBK text with a comma between the words")
        << QByteArray("\xD6\xD0\xCE\xC4,\xB2\xE9\xD5\xD2") << QStringLiteral(u"中文查找");
    QTest::newRow("a GBK keyword split by CR LF is joined again")
        << QByteArray("\xD6\xD0\r\n\xCE\xC4") << QStringLiteral(u"中文");
    QTest::newRow("GBK trail bytes in the ASCII range stay inside their character")
        << QByteArray("\x81\x40\x81\x7E") << QStringLiteral(u"丂亊");
    QTest::newRow("UTF-8 text without a byte-order mark is read as UTF-8")
        << QByteArray("\xE4\xB8\xAD\xE6\x96\x87,x") << QStringLiteral(u"中文x");
    QTest::newRow("a UTF-8 byte-order mark is not part of the text")
        << QByteArray("\xEF\xBB\xBF\xE4\xB8\xAD,a") << QStringLiteral(u"中a");
    QTest::newRow("UTF-16 LE with its mark, fields cut from the characters")
        << bytes("\xFF\xFE\x2D\x4E\x2C\x00\x87\x65", 8) << QStringLiteral(u"中文");
    QTest::newRow("UTF-16 BE with its mark, fields cut from the characters")
        << bytes("\xFE\xFF\x4E\x2D\x00\x0D\x00\x0A\x65\x87", 10) << QStringLiteral(u"中文");
}

void TestSearchText::chineseTextIsOneCharacterPerChineseCharacter()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const auto result = ReadSearchText(write(QStringLiteral("zh.txt"), content));
    QVERIFY(result.ok());
    QCOMPARE(result.text, expected);
}

void TestSearchText::yieldRunsOncePerField_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("fields");

    QTest::newRow("an empty file is not read at all") << QByteArray() << 0;
    QTest::newRow("one field without a delimiter") << QByteArray("abc") << 1;
    QTest::newRow("three fields on two lines") << QByteArray("a,b\r\nc") << 3;
    QTest::newRow("a final line end does not start another field") << QByteArray("a\r\n") << 1;
}

void TestSearchText::yieldRunsOncePerField()
{
    QFETCH(QByteArray, content);
    QFETCH(int, fields);
    int calls = 0;
    const auto result = ReadSearchText(write(QStringLiteral("y.txt"), content), [&] { ++calls; });
    QVERIFY(result.ok());
    QCOMPARE(calls, fields);
}

void TestSearchText::missingFileIsReportedAsFailure()
{
    const auto result = ReadSearchText(m_dir->filePath(QStringLiteral("does-not-exist.txt")));
    QCOMPARE(result.status, ReadStatus::NotFound);
    QVERIFY(result.text.isEmpty());
}

void TestSearchText::directoryIsReportedAsFailure()
{
    const auto result = ReadSearchText(m_dir->path());
    QCOMPARE(result.status, ReadStatus::IsDirectory);
}

void TestSearchText::unreadableFileIsReportedAsFailure()
{
    const QString path = write(QStringLiteral("secret.txt"), "keyword");
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    if (::access(QFile::encodeName(path).constData(), R_OK) == 0)
        QSKIP("Running as root: a file without permissions is still readable, so there is no "
              "permission failure to observe.");
    const auto result = ReadSearchText(path);
    QCOMPARE(result.status, ReadStatus::NoPermission);
}

void TestSearchText::fileTruncatedWhileReadEndsWithoutFailure()
{
    // Large enough that the reader holds only part of it when the first field is read.
    QByteArray content;
    for (int i = 0; i < 20000; ++i)
        content += "field" + QByteArray::number(i) + ",\r\n";
    const QString path = write(QStringLiteral("shrinking.txt"), content);
    int fields = 0;
    const auto result = ReadSearchText(path, [&] {
        // After the first field the reader holds the first chunk; the rest vanishes.
        if (++fields == 2)
            QVERIFY(QFile::resize(path, 10));
    });
    QVERIFY(result.ok());
    QVERIFY(result.text.startsWith(QStringLiteral("field0field1")));
    QVERIFY(result.text.size() < content.size());
}

QTEST_GUILESS_MAIN(TestSearchText)
#include "tst_search_text.moc"
