// The bomb command of bench_documents: a document whose one text run inflates to gigabytes from a
// package of megabytes, written through libarchive a block at a time.

#include "bench_documents.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>

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

} // namespace

int writeBomb(const QStringList &args)
{
    return writeBombFile(args.at(1), args.at(2), args.at(3).toLongLong());
}

} // namespace benchdocs
