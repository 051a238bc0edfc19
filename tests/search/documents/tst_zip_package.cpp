#include "search/documents/zip_package.h"

#include "search/documents/zip_directory.h"

#include "document_fixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using documents::Source;
using documents::ZipPackage;
using fixtures::le16;
using fixtures::le32;

namespace {

// What libarchive's seekable ZIP reader makes of an archive: whether it lists every header, and
// each entry's name and content (empty `read` when its data cannot be read).
struct Listing
{
    bool listed = false;
    QList<QByteArray> names;
    QList<QByteArray> contents;
    QList<bool> read;
};

Listing libarchiveListing(const QByteArray &bytes)
{
    Listing listing;
    archive *a = archive_read_new();
    archive_read_support_format_zip_seekable(a);
    if (archive_read_open_memory(a, bytes.constData(), size_t(bytes.size())) != ARCHIVE_OK) {
        archive_read_free(a);
        return listing;
    }
    archive_entry *entry = nullptr;
    int r = ARCHIVE_OK;
    while ((r = archive_read_next_header(a, &entry)) >= ARCHIVE_WARN && r != ARCHIVE_EOF) {
        const char *name = archive_entry_pathname_utf8(entry);
        listing.names.append(name ? QByteArray(name) : QByteArray());
        QByteArray content;
        bool ok = !archive_entry_is_encrypted(entry);
        char buffer[4096];
        for (la_ssize_t n = 1; ok && n > 0;) {
            n = archive_read_data(a, buffer, sizeof buffer);
            ok = n >= 0;
            if (n > 0)
                content.append(buffer, n);
        }
        listing.contents.append(content);
        listing.read.append(ok);
    }
    listing.listed = r == ARCHIVE_EOF;
    archive_read_free(a);
    return listing;
}

// Where the central directory record of `name` starts, and its local header.
struct Headers
{
    qsizetype central = -1;
    qsizetype local = -1;
};

Headers headersOf(const QByteArray &zip, const QByteArray &name)
{
    const auto u16 = [&](qsizetype at) {
        return qsizetype(uchar(zip[at]) | uchar(zip[at + 1]) << 8);
    };
    const auto u32 = [&](qsizetype at) { return u16(at) | u16(at + 2) << 16; };
    const qsizetype end = zip.lastIndexOf(QByteArrayView("PK\x05\x06", 4));
    for (qsizetype at = u32(end + 16); at < end;
         at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32)) {
        if (zip.mid(at + 46, u16(at + 28)) == name)
            return {at, u32(at + 42)};
    }
    return {};
}

QByteArray patched(QByteArray zip, qsizetype at, const QByteArray &bytes)
{
    zip.replace(at, bytes.size(), bytes);
    return zip;
}

} // namespace

// The parts of a package held in memory are inflated whole where its central directory allows
// (libdeflate, the CRC checked): for any archive, damaged or not, the package must list and give
// exactly what libarchive's reader gives block by block.
class TestZipPackage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entriesAreTheArchiveReaders_data();
    void entriesAreTheArchiveReaders();
    void directoryNamesEveryEntryWhereItIs_data();
    void directoryNamesEveryEntryWhereItIs();
};

void TestZipPackage::entriesAreTheArchiveReaders_data()
{
    QTest::addColumn<QByteArray>("zip");

    QFile file(fixtures::document("runs.docx"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray docx = file.readAll();
    const Headers body = headersOf(docx, "word/document.xml");
    const Headers styles = headersOf(docx, "word/styles.xml");
    const Headers types = headersOf(docx, "[Content_Types].xml");
    const Headers first = headersOf(docx, "_rels/.rels");
    QVERIFY(body.local > 0 && styles.local > 0 && types.local > 0 && first.central > 0 &&
            first.local == 0);
    const auto data = [&](const Headers &h) {
        return h.local + 30 + (uchar(docx[h.local + 26]) | uchar(docx[h.local + 27]) << 8) +
               (uchar(docx[h.local + 28]) | uchar(docx[h.local + 29]) << 8);
    };

    QTest::newRow("as written") << docx;
    QTest::newRow("a byte of the deflated text changed")
        << patched(docx, data(body) + 100, QByteArray(1, char(docx[data(body) + 100] ^ 0x5A)));
    QTest::newRow("the text's CRC wrong in both headers") << patched(
        patched(docx, body.central + 16, le32(0x12345678)), body.local + 14, le32(0x12345678));
    QTest::newRow("the directory's CRC alone wrong")
        << patched(docx, body.central + 16, le32(0x12345678));
    QTest::newRow("declared one byte longer in both headers") << patched(
        patched(docx, body.central + 24, le32(2143 + 1)), body.local + 22, le32(2143 + 1));
    QTest::newRow("local name other than the directory's")
        << patched(docx, body.local + 30 + 5, "D");
    QTest::newRow("stored method in the directory alone")
        << patched(docx, body.central + 10, le16(0));
    QTest::newRow("encrypted in both headers")
        << patched(patched(docx, styles.central + 8, le16(1)), styles.local + 6, le16(1));
    QTest::newRow("an archive comment")
        << patched(docx, docx.size() - 2, le16(5)) + QByteArray("notes");
    QTest::newRow("one byte cut off the end") << docx.first(docx.size() - 1);
    QTest::newRow("the directory's entry count one short")
        << patched(patched(docx, docx.size() - 12, le16(8)), docx.size() - 14, le16(8));
    // The small parts are read as the entries are listed: damaged, they are so when asked for.
    QTest::newRow("the content types' CRC wrong in both headers") << patched(
        patched(docx, types.central + 16, le32(0x12345678)), types.local + 14, le32(0x12345678));
    QTest::newRow("the content types' data changed")
        << patched(docx, data(types) + 10, QByteArray(1, char(docx[data(types) + 10] ^ 0x5A)));
    QTest::newRow("the first entry's data changed")
        << patched(docx, data(first) + 20, QByteArray(1, char(docx[data(first) + 20] ^ 0x5A)));
    QTest::newRow("text data pointing into the next entry") << patched(
        patched(docx, body.central + 20, le32(766 + 40)), body.local + 18, le32(766 + 40));

    // Written by libarchive: deflated entries with their sizes after the data.
    QTemporaryDir dir;
    const auto written = [&](const QList<QPair<QByteArray, QByteArray>> &entries) {
        const QString path = dir.filePath(QStringLiteral("w.zip"));
        fixtures::writeZip(path, entries);
        QFile zip(path);
        return zip.open(QIODevice::ReadOnly) ? zip.readAll() : QByteArray();
    };
    QTest::newRow("sizes after the data")
        << written({{"a.xml", QByteArray(5000, 'a')}, {"dir/", {}}, {"b.xml", "<b>批量</b>"}});
    QTest::newRow("two names differing in case")
        << written({{"Word/A.xml", "first"}, {"word/a.xml", "second"}});
    QTest::newRow("a UTF-8 name") << written({{"图片/说明.xml", "<t>说明</t>"}});
    QTest::newRow("an empty entry") << written({{"empty.xml", {}}, {"x.xml", "<x/>"}});
    // Too large to be held in memory: read through the archive reader alone.
    QByteArray noise(int(ZipPackage::kMaxInMemory) + 4096, Qt::Uninitialized);
    quint32 state = 12345;
    for (char &byte : noise) {
        state = state * 1103515245 + 12345;
        byte = char(state >> 24);
    }
    // Parts inflating to more than the ratio's floor, well within its ratio.
    QByteArray text;
    for (int i = 0; text.size() < (3 << 20); ++i)
        text += "<w:t>" + QByteArray::number(i * 7919 % 100003) + "</w:t>";
    QTest::newRow("a part of 3 MiB in a small package")
        << written({{"_rels/.rels", "<Relationships/>"}, {"word/document.xml", text}});
    QTest::newRow("a package read from its file")
        << written({{"_rels/.rels", "<Relationships/>"},
                    {"word/document.xml", text},
                    {"big.bin", noise},
                    {"[Content_Types].xml", "<Types/>"},
                    {"word/_rels/document.xml.rels", "<Relationships/>"}});
}

void TestZipPackage::entriesAreTheArchiveReaders()
{
    QFETCH(QByteArray, zip);
    const Listing expected = libarchiveListing(zip);
    ZipPackage package;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.zip"));
    if (zip.size() > ZipPackage::kMaxInMemory) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(zip) == zip.size());
    }
    const Source source = zip.size() > ZipPackage::kMaxInMemory
                              ? Source(path)
                              : Source::fromBytes(zip, QStringLiteral("p.zip"));
    QCOMPARE(package.open(source), expected.listed);
    if (!expected.listed)
        return;

    // In one pass: libarchive's entries in its order, up to the first that cannot be read.
    QList<QByteArray> names;
    QList<QByteArray> contents;
    const ZipPackage::Status status = package.readEach(
        [&](QByteArrayView name) {
            names.append(name.toByteArray());
            contents.append(QByteArray());
            return ZipPackage::Step::Read;
        },
        [&](QByteArrayView block) {
            contents.last().append(block);
            return true;
        });
    const qsizetype failed = expected.read.indexOf(false);
    QCOMPARE(status == ZipPackage::Status::Ok, failed < 0);
    const qsizetype count = failed < 0 ? expected.names.size() : failed + 1;
    QCOMPARE(names, expected.names.first(count));
    for (qsizetype i = 0; i < count; ++i) {
        if (expected.read[i])
            QCOMPARE(contents[i], expected.contents[i]);
    }

    // Each entry by its name, where no other has the same name but for case.
    for (qsizetype i = 0; i < expected.names.size(); ++i) {
        const QString name = QString::fromUtf8(expected.names[i]);
        bool unique = true;
        for (qsizetype j = 0; j < expected.names.size(); ++j)
            unique = unique &&
                     (i == j ||
                      QString::fromUtf8(expected.names[j]).compare(name, Qt::CaseInsensitive) != 0);
        if (!unique)
            continue;
        QVERIFY(package.contains(name));
        QByteArray content;
        const ZipPackage::Status one = package.read(name, [&](QByteArrayView block) {
            content.append(block);
            return true;
        });
        QVERIFY2((one == ZipPackage::Status::Ok) == expected.read[i], expected.names[i]);
        QByteArray whole;
        const ZipPackage::Status all = package.readAll(name, whole, 4 << 20);
        QVERIFY2((all == ZipPackage::Status::Ok) == expected.read[i], expected.names[i]);
        if (expected.read[i]) {
            QCOMPARE(content, expected.contents[i]);
            QCOMPARE(whole, expected.contents[i]);
        }
    }
}

void TestZipPackage::directoryNamesEveryEntryWhereItIs_data()
{
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QList<QByteArray>>("names"); // empty: the directory cannot be read

    QFile file(fixtures::document("runs.docx"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray docx = file.readAll();
    const Listing listed = libarchiveListing(docx);
    QVERIFY(listed.listed);
    QTest::newRow("an office package") << docx << listed.names;
    // A self-extracting program before the archive: its offsets count from the archive's start.
    QByteArray program(4096, '\x90');
    program.replace(0, 4,
                    "\x7F"
                    "ELF");
    QTest::newRow("bytes put before the archive") << program + docx << listed.names;
    QTest::newRow("one byte cut off the end") << docx.first(docx.size() - 1) << QList<QByteArray>();
    QTest::newRow("no end record") << docx.first(docx.size() - 22) << QList<QByteArray>();
    const qsizetype end = docx.lastIndexOf(QByteArrayView("PK\x05\x06", 4));
    QTest::newRow("more entries counted than the directory holds")
        << patched(docx, end + 10, QByteArray("\xFF\x00", 2)) << QList<QByteArray>();
}

void TestZipPackage::directoryNamesEveryEntryWhereItIs()
{
    QFETCH(QByteArray, zip);
    QFETCH(QList<QByteArray>, names);
    const std::optional<std::vector<documents::ZipDirectoryEntry>> directory =
        documents::readZipDirectory(zip);
    QCOMPARE(directory.has_value(), !names.isEmpty());
    if (!directory)
        return;
    QList<QByteArray> found;
    for (const documents::ZipDirectoryEntry &entry : *directory) {
        found.append(entry.name);
        // The entry's local header is where the directory says, and names it alike.
        QCOMPARE(zip.mid(entry.localHeader, 4), QByteArray("PK\x03\x04"));
        QCOMPARE(zip.mid(entry.localHeader + 30, entry.name.size()), entry.name);
        QVERIFY(entry.compressed >= 0 && entry.localHeader + entry.compressed <= zip.size());
    }
    QCOMPARE(found, names);
    // A package in memory reads every part whole from there, as from the plain archive.
    ZipPackage package;
    QVERIFY(package.open(Source::fromBytes(zip, QStringLiteral("p.zip"))));
    QByteArray body;
    QCOMPARE(package.readAll(QStringLiteral("word/document.xml"), body), ZipPackage::Status::Ok);
    QVERIFY(body.contains("Needle"));
}

QTEST_GUILESS_MAIN(TestZipPackage)
#include "tst_zip_package.moc"
