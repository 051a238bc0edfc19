// The bomb commands of bench_documents: a document whose one text run inflates to gigabytes from a
// package of megabytes, written through libarchive a block at a time; and ZIP files nested in ZIP
// files, as the well-known 42.zip, written by hand from one deflated copy of each level.

#include "bench_documents.h"

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <utility>

namespace benchdocs {

namespace {

// The parts around the bomb's text: before, after, the entry that holds it.
struct BombForm
{
    QList<QPair<QByteArray, QByteArray>> entries; // written before the bomb entry
    QByteArray entry;
    QByteArray before;
    QByteArray after;
};

BombForm bombForm(const QString &form)
{
    BombForm f;
    if (form.startsWith(u"odt")) {
        f.entries = {{"mimetype", "application/vnd.oasis.opendocument.text"}};
        f.entry = "content.xml";
        f.before = "<?xml version=\"1.0\"?><office:document-content "
                   "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                   "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
                   "<office:text><text:p>";
        f.after = "</text:p></office:text></office:body></office:document-content>";
        return f;
    }
    const bool sheet = form.startsWith(u"xlsx");
    const QByteArray type = sheet ? "spreadsheetml.sheet" : "wordprocessingml.document";
    const QByteArray main = sheet ? "/xl/workbook.xml" : "/word/document.xml";
    f.entries = {{"[Content_Types].xml",
                  "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                  "package/2006/content-types\"><Override PartName=\"" +
                      main + "\" ContentType=\"application/vnd.openxmlformats-officedocument." +
                      type + ".main+xml\"/></Types>"}};
    if (sheet) {
        const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
        const QByteArray r =
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
        f.entries.append(
            qMakePair(QByteArray("xl/workbook.xml"), "<workbook " + ns + " " + r +
                                                         "><sheets><sheet name=\"S\" sheetId=\"1\" "
                                                         "r:id=\"rId1\"/></sheets></workbook>"));
        f.entries.append(qMakePair(
            QByteArray("xl/_rels/workbook.xml.rels"),
            QByteArray("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\"><Relationship Id=\"rId1\" "
                       "Type=\"http://schemas.openxmlformats.org/"
                       "officeDocument/2006/relationships/worksheet\" Target=\"sheet1.xml\"/>"
                       "</Relationships>")));
        f.entry = "xl/sheet1.xml";
        f.before =
            "<worksheet " + ns + "><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>";
        f.after = "</t></is></c></row></sheetData></worksheet>";
        return f;
    }
    f.entry = "word/document.xml";
    f.before = "<?xml version=\"1.0\"?><w:document xmlns:w=\"http://schemas.openxmlformats.org/"
               "wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>";
    f.after = "</w:t></w:r></w:p></w:body></w:document>";
    return f;
}

void writeEntry(archive *a, const QByteArray &name, qint64 size)
{
    archive_entry *entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.constData());
    if (size >= 0)
        archive_entry_set_size(entry, size);
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_write_header(a, entry);
    archive_entry_free(entry);
}

// Sets the uncompressed size of every central directory record of `path` named `name` to
// `size` (a bomb that hides its size).
bool hideSize(const QString &path, const QByteArray &name, quint32 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 length = file.size();
    const qint64 tail = std::min<qint64>(length, 1 << 20);
    file.seek(length - tail);
    QByteArray bytes = file.read(tail);
    const QByteArray record = QByteArray("PK\x01\x02", 4);
    for (qsizetype at = bytes.indexOf(record); at >= 0; at = bytes.indexOf(record, at + 4)) {
        if (at + 46 > bytes.size())
            break;
        const auto u16 = [&](qsizetype i) {
            return quint16(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8);
        };
        if (bytes.mid(at + 46, u16(at + 28)) != name)
            continue;
        for (int i = 0; i < 4; ++i)
            bytes[at + 24 + i] = char(size >> (8 * i) & 0xFF);
    }
    file.seek(length - tail);
    return file.write(bytes) == tail;
}

int writeBombFile(const QString &form, const QString &path, qint64 mebibytes)
{
    const BombForm f = bombForm(form);
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    if (archive_write_open_filename(a, QFile::encodeName(path).constData()) != ARCHIVE_OK)
        return 1;
    for (const auto &[name, content] : f.entries) {
        writeEntry(a, name, content.size());
        archive_write_data(a, content.constData(), size_t(content.size()));
    }
    // No size: libarchive then writes the entry as it comes and its size after it.
    writeEntry(a, f.entry, -1);
    archive_write_data(a, f.before.constData(), size_t(f.before.size()));
    const QByteArray block(1 << 20, 'A');
    for (qint64 i = 0; i < mebibytes; ++i)
        archive_write_data(a, block.constData(), size_t(block.size()));
    archive_write_data(a, f.after.constData(), size_t(f.after.size()));
    archive_write_close(a);
    archive_write_free(a);
    if (form.endsWith(u"-hidden") && !hideSize(path, f.entry, 1024))
        return 1;
    return 0;
}

// One ZIP entry's bytes, deflated once and written under many names.
struct Deflated
{
    QByteArray bytes;
    quint32 crc = 0;
    quint32 size = 0;
};

// Raw deflate of what `feed` gives block by block (an empty block ends it); `strategy` Z_RLE for
// a run of one byte, which it packs as tightly as any and many times faster.
template <typename Feed> Deflated deflateBlocks(Feed feed, int strategy)
{
    Deflated out;
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, strategy);
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (QByteArray block = feed();; block = feed()) {
        const bool last = block.isEmpty();
        out.crc = quint32(
            crc32(out.crc, reinterpret_cast<const Bytef *>(block.constData()), uInt(block.size())));
        out.size += quint32(block.size());
        z.next_in = reinterpret_cast<Bytef *>(block.data());
        z.avail_in = uInt(block.size());
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer.data());
            z.avail_out = uInt(buffer.size());
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            out.bytes.append(buffer.constData(), buffer.size() - qsizetype(z.avail_out));
        } while (z.avail_out == 0);
        if (last)
            break;
    }
    deflateEnd(&z);
    return out;
}

void appendLittle(QByteArray &out, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        out.append(char(value >> (8 * i) & 0xFF));
}

// A ZIP file of `count` entries holding the same deflated bytes, named 0, 1, ... in hex with
// `suffix`.
QByteArray zipOfCopies(const Deflated &entry, int count, const QByteArray &suffix)
{
    QByteArray body;
    QByteArray directory;
    const auto header = [&](QByteArray &out, const QByteArray &name) {
        appendLittle(out, 20, 2);     // version needed
        appendLittle(out, 0, 2);      // flags
        appendLittle(out, 8, 2);      // deflated
        appendLittle(out, 0x6000, 2); // 12:00
        appendLittle(out, 0x5821, 2); // 2024-01-01
        appendLittle(out, entry.crc, 4);
        appendLittle(out, quint32(entry.bytes.size()), 4);
        appendLittle(out, entry.size, 4);
        appendLittle(out, quint32(name.size()), 2);
        appendLittle(out, 0, 2); // extra field
    };
    for (int i = 0; i < count; ++i) {
        const QByteArray name = QByteArray::number(i, 16) + suffix;
        const quint32 offset = quint32(body.size());
        appendLittle(body, 0x04034b50, 4);
        header(body, name);
        body += name;
        body += entry.bytes;
        appendLittle(directory, 0x02014b50, 4);
        appendLittle(directory, 20, 2); // made by
        header(directory, name);
        appendLittle(directory, 0, 2); // comment
        appendLittle(directory, 0, 2); // disk
        appendLittle(directory, 0, 2); // internal attributes
        appendLittle(directory, 0, 4); // external attributes
        appendLittle(directory, offset, 4);
        directory += name;
    }
    QByteArray zip = body + directory;
    appendLittle(zip, 0x06054b50, 4);
    appendLittle(zip, 0, 4);
    appendLittle(zip, quint32(count), 2);
    appendLittle(zip, quint32(count), 2);
    appendLittle(zip, quint32(directory.size()), 4);
    appendLittle(zip, quint32(body.size()), 4);
    appendLittle(zip, 0, 2);
    return zip;
}

} // namespace

int writeBomb(const QStringList &args)
{
    return writeBombFile(args.at(1), args.at(2), args.at(3).toLongLong());
}

int writeNestedZip(const QStringList &args)
{
    const int levels = args.at(2).toInt();
    const int members = args.at(3).toInt();
    const qint64 leafMiB = args.at(4).toLongLong();
    if (levels < 1 || members < 1 || leafMiB < 1 || leafMiB >= 4096)
        return 2;
    // The innermost ZIP files hold the leaves: runs of zero bytes.
    const QByteArray zeros(1 << 20, '\0');
    qint64 left = leafMiB;
    Deflated entry = deflateBlocks([&] { return left-- > 0 ? zeros : QByteArray(); }, Z_RLE);
    QByteArray zip = zipOfCopies(entry, members, ".bin");
    // Each level above holds copies of the level below, deflated once.
    for (int level = levels - 1; level >= 1; --level) {
        bool given = false;
        entry = deflateBlocks([&] { return std::exchange(given, true) ? QByteArray() : zip; },
                              Z_DEFAULT_STRATEGY);
        zip = zipOfCopies(entry, members, ".zip");
    }
    QFile file(args.at(1));
    return file.open(QIODevice::WriteOnly) && file.write(zip) == zip.size() ? 0 : 1;
}

} // namespace benchdocs
