#include "document_fixtures.h"

#include "search/documents/document_text.h"
#include "search/documents/registry.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

using documents::Kind;
using documents::Outcome;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(documents::Kind)
Q_DECLARE_METATYPE(documents::Outcome)

// Compiled help files through the registry: the words of real help files and of one written by
// chmcmd (tests/data/make_help_file.sh), in the order of their tables of contents; files whose
// structures chmlib would trust wrongly are refused or end damaged, never read past their bytes.
class TestHelpFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheTopicsInContentsOrder_data();
    void readsTheTopicsInContentsOrder();
    void damagedFilesAreRefusedOrDamaged_data();
    void damagedFilesAreRefusedOrDamaged();
};

namespace {

using Read = fixtures::ReadDocument;

Read readFile(const QString &path)
{
    return fixtures::readDocument(path);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void putU32(QByteArray &bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

} // namespace

void TestHelpFile::readsTheTopicsInContentsOrder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("words");  // in the order the text must give them
    QTest::addColumn<QStringList>("absent"); // words the help file does not hold
    QTest::addColumn<bool>("eachOnce");      // every topic read once: each word found once

    // Written by HTML Help Workshop (realdocs wave 2, from doudoudzj/RQCMS): GBK pages, a table
    // of contents whose order is not the directory's (_1, _9, _34, _2, ... _16).
    QTest::newRow("RQCMS's help: the topics as its contents order them")
        << fixtures::document("chm/rqcms_help.chm")
        << QStringList{u"伪静态"_s, u"GPL使用许可"_s, u"提交代码"_s, u"环境要求"_s, u"帝国备份王"_s}
        << QStringList{u"织梦备份"_s} << false;
    // Written by HTML Help Workshop (realdocs wave 2, from QiBowen2008/SuperTextToolBox).
    QTest::newRow("SuperTextToolBox's help: headings and a later page")
        << fixtures::document("chm/supertext_help.chm")
        << QStringList{u"万能文字工具箱"_s, u"文字转拼音"_s} << QStringList{u"语音转文字"_s}
        << false;
    // Written by chmcmd: contents 丙, 甲, 乙, 甲 again; a page the contents do not name sorts
    // first in the directory but comes after them; a UTF-8 page declares its own charset.
    QTest::newRow("chmcmd's GBK help: contents order, each topic once, then the other pages")
        << fixtures::document("chm/contents_gbk.chm")
        << QStringList{u"丙篇正文：目录里排在最前"_s, u"甲篇正文：批量查找第一段"_s,
                       u"乙篇正文：合同违约金条款"_s, u"附篇正文"_s,
                       u"统一编码页：自己声明字符集"_s}
        << QStringList{u"甲篇再次"_s, u"Help"_s} << true;
}

void TestHelpFile::readsTheTopicsInContentsOrder()
{
    QFETCH(QString, path);
    QFETCH(QStringList, words);
    QFETCH(QStringList, absent);
    QFETCH(bool, eachOnce);
    const Read read = readFile(path);
    QCOMPARE(read.kind, Kind::HelpFile);
    QCOMPARE(read.outcome, Outcome::Done);
    qsizetype previous = -1;
    for (const QString &word : std::as_const(words)) {
        const qsizetype at = read.text.indexOf(word);
        QVERIFY2(at > previous, qPrintable(word + u" in "_s + read.text.left(400)));
        previous = at;
        if (eachOnce)
            QCOMPARE(read.text.count(word), 1);
    }
    for (const QString &word : std::as_const(absent))
        QVERIFY2(!read.text.contains(word), qPrintable(word));
}

void TestHelpFile::damagedFilesAreRefusedOrDamaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Kind>("kind");       // what recognition makes of it
    QTest::addColumn<Outcome>("outcome"); // how reading it ends, when it is a help file

    const QByteArray whole = readBytes(fixtures::document("chm/contents_gbk.chm"));
    QVERIFY(whole.size() > 4096);
    const qsizetype directory = qsizetype(qFromLittleEndian<quint64>(whole.constData() + 0x48));
    const qsizetype firstChunk = directory + 0x54;
    QVERIFY(whole.mid(firstChunk, 4) == "PMGL");
    const qsizetype control = whole.indexOf("LZXC") - 4;
    QVERIFY(control > 0);

    QTest::newRow("whole") << whole << Kind::HelpFile << Outcome::Done;
    QTest::newRow("cut inside its directory")
        << whole.first(firstChunk + 100) << Kind::NotDocument << Outcome::Damaged;
    // The compressed section lies at the end: the directory is whole, the pages are not.
    QTest::newRow("its compressed section cut short")
        << whole.first(whole.size() - 1000) << Kind::HelpFile << Outcome::Damaged;

    QByteArray loop = whole;
    putU32(loop, firstChunk + 0x10, 0); // the only listing chunk follows itself
    QTest::newRow("a listing chunk that links to itself")
        << loop << Kind::NotDocument << Outcome::Damaged;
    QByteArray freeSpace = whole;
    putU32(freeSpace, firstChunk + 4, 0xFFFFFF00);
    QTest::newRow("a listing chunk with more free space than bytes")
        << freeSpace << Kind::NotDocument << Outcome::Damaged;
    QByteArray name = whole;
    name[firstChunk + 0x14] = char(0x7F); // the first entry's name runs past the chunk's end
    name[firstChunk + 0x15] = '\xFF';
    QTest::newRow("an entry whose name runs past its chunk")
        << name << Kind::NotDocument << Outcome::Damaged;
    QByteArray chunkSize = whole;
    putU32(chunkSize, directory + 0x10, 0x40000000);
    QTest::newRow("directory chunks of 1 GiB")
        << chunkSize << Kind::NotDocument << Outcome::Damaged;
    QByteArray windows = whole;
    putU32(windows, control + 0x14, 0); // chmlib divides by the blocks between resets
    QTest::newRow("no windows between resets") << windows << Kind::NotDocument << Outcome::Damaged;
    QByteArray window = whole;
    putU32(window, control + 0x10, 0x30000 / (whole.at(control + 8) == 2 ? 0x8000 : 1));
    QTest::newRow("an LZX window that is no power of two")
        << window << Kind::NotDocument << Outcome::Damaged;
    QByteArray byteWindow = whole;
    putU32(byteWindow, control + 8, 1); // chm_open would divide by half of one byte
    putU32(byteWindow, control + 0x10, 1);
    QTest::newRow("an LZX window of one byte")
        << byteWindow << Kind::NotDocument << Outcome::Damaged;
    // The reset table of the one compressed block: version 2, 2 entries, offset 40.
    const QByteArray resetStart = QByteArray::fromHex("02000000020000000800000028000000");
    const qsizetype reset = whole.indexOf(resetStart);
    QVERIFY(reset > control);
    QByteArray blockLength = whole;
    putU32(blockLength, reset + 0x18, 0x100000); // the last block's compressed length, 1 MiB
    QTest::newRow("a compressed block longer than chmlib's buffer")
        << blockLength << Kind::NotDocument << Outcome::Damaged;
    QByteArray section = whole;
    putU32(section, reset + 0x10, 0x7FFFFFFF); // 2 GiB of text in two 32 KiB blocks
    QTest::newRow("a section longer than its blocks")
        << section << Kind::NotDocument << Outcome::Damaged;
}

void TestHelpFile::damagedFilesAreRefusedOrDamaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Kind, kind);
    QFETCH(Outcome, outcome);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(u"help.chm"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    const Read read = readFile(path);
    QCOMPARE(read.kind, kind);
    if (kind == Kind::HelpFile)
        QCOMPARE(read.outcome, outcome);

    // Held in memory (an archive's member), the same bytes are never taken for a help file:
    // chmlib reads from paths only.
    const documents::Source inMemory = documents::Source::fromBytes(bytes, u"help.chm"_s);
    QCOMPARE(documents::recognise(inMemory, bytes.first(std::min<qsizetype>(bytes.size(), 1024))),
             Kind::NotDocument);
}

QTEST_GUILESS_MAIN(TestHelpFile)
#include "tst_help_file.moc"
