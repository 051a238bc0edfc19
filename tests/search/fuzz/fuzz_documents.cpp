// Feeds arbitrary bytes, written as a file, through recognise and extractText. Whatever the
// bytes, the extraction must end with an outcome, without a crash, a hang or unbounded memory;
// the sanitizers watch the rest. Inputs that start with a ZIP or OLE2 signature are the
// interesting ones: a corpus of the fixtures in tests/data/documents is a good start.
//
// Byte 0 of the input chooses when the caller stops taking text (bits 0-2: never, or after N
// pieces) and how the rest is written (bits 3-5):
//   0  the rest is the file
//   1  the rest is the streams of a Word 97 file: a 32-bit size, WordDocument, then 1Table
//   2  the rest is the Workbook stream of an Excel 97 file
//   3  the rest is the streams of a PowerPoint 97 file: a 32-bit size, PowerPoint Document, then
//      Current User
//   4  the rest is the parts of an OFD package: three 16-bit sizes, then OFD.xml,
//      Doc_0/Document.xml, Doc_0/Pages/Page_0/Content.xml, and the rest as
//      Doc_0/Tpls/Tpl_0/Content.xml
//   5  the rest is the one content document of an EPUB book (HTML, read by the HTML parser)
//   6-7  as 0
// Modes 1-3 put the bytes in a well-formed compound file, modes 4 and 5 in a well-formed ZIP
// package, so that mutations reach the record, part and markup parsers instead of stopping at the
// container. tests/search/fuzz/seed_corpus.sh makes seeds of every mode from the fixtures.

#include "search/documents/document_text.h"

#include <QFile>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const QString &filePath()
{
    static QTemporaryDir dir(QStringLiteral("/dev/shm/quarlex-fuzz-documents-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("input"));
    return path;
}

struct Stream
{
    const char *name;
    const char *bytes;
    size_t size;
};

void writeCompoundFile(const Stream *streams, int count)
{
    static const bool initialised = (gsf_init(), true);
    (void)initialised;
    GsfOutput *file = gsf_output_stdio_new(QFile::encodeName(filePath()).constData(), nullptr);
    if (!file)
        std::abort();
    GsfOutfile *ole = gsf_outfile_msole_new(file);
    for (int i = 0; i < count; ++i) {
        GsfOutput *stream = gsf_outfile_new_child(ole, streams[i].name, false);
        gsf_output_write(stream, streams[i].size,
                         reinterpret_cast<const guint8 *>(streams[i].bytes));
        gsf_output_close(stream);
        g_object_unref(stream);
    }
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    g_object_unref(file);
}

// Two streams from `bytes`: a 32-bit size of the first, the first, the rest.
void writeTwoStreams(const char *first, const char *second, const char *bytes, size_t size)
{
    uint32_t split = 0;
    if (size >= 4)
        std::memcpy(&split, bytes, 4);
    const size_t skip = std::min<size_t>(size, 4);
    const size_t firstSize = std::min<size_t>(split, size - skip);
    const Stream streams[] = {{first, bytes + skip, firstSize},
                              {second, bytes + skip + firstSize, size - skip - firstSize}};
    writeCompoundFile(streams, 2);
}

// An OFD package (stored, not compressed) of the parts in `bytes`: three 16-bit sizes, then the
// parts one after the other, the last one taking the rest.
void writeOfdPackage(const char *bytes, size_t size)
{
    static const char *const names[] = {"OFD.xml", "Doc_0/Document.xml",
                                        "Doc_0/Pages/Page_0/Content.xml",
                                        "Doc_0/Tpls/Tpl_0/Content.xml"};
    size_t at = std::min<size_t>(size, 6);
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_set_options(a, "zip:compression=store");
    if (archive_write_open_filename(a, QFile::encodeName(filePath()).constData()) != ARCHIVE_OK)
        std::abort();
    for (int i = 0; i < 4; ++i) {
        size_t part = size - at;
        if (i < 3) {
            uint16_t declared = 0;
            if (size >= 6)
                std::memcpy(&declared, bytes + 2 * i, 2);
            part = std::min<size_t>(declared, part);
        }
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, names[i]);
        archive_entry_set_size(entry, la_int64_t(part));
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_write_header(a, entry);
        archive_write_data(a, bytes + at, part);
        archive_entry_free(entry);
        at += part;
    }
    archive_write_close(a);
    archive_write_free(a);
}

// A ZIP archive of (name, bytes, size) entries, written with libarchive.
void writeZip(const Stream *entries, int count)
{
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    if (archive_write_open_filename(a, QFile::encodeName(filePath()).constData()) != ARCHIVE_OK)
        std::abort();
    for (int i = 0; i < count; ++i) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, entries[i].name);
        archive_entry_set_size(entry, la_int64_t(entries[i].size));
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_write_header(a, entry);
        archive_write_data(a, entries[i].bytes, entries[i].size);
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
}

// An EPUB book whose spine is the one document `bytes`.
void writeEpub(const char *bytes, size_t size)
{
    static const char mimetype[] = "application/epub+zip";
    static const char container[] =
        "<?xml version=\"1.0\"?><container version=\"1.0\" "
        "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
        "full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
        "</rootfiles></container>";
    static const char package[] =
        "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\">"
        "<manifest><item id=\"c1\" href=\"text/one.xhtml\" media-type=\"application/xhtml+xml\"/>"
        "</manifest><spine><itemref idref=\"c1\"/></spine></package>";
    const Stream entries[] = {{"mimetype", mimetype, sizeof mimetype - 1},
                              {"META-INF/container.xml", container, sizeof container - 1},
                              {"OEBPS/content.opf", package, sizeof package - 1},
                              {"OEBPS/text/one.xhtml", bytes, size}};
    writeZip(entries, 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int stopAfter = data[0] & 7; // 0: take everything
    const int mode = data[0] >> 3 & 7;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const size_t length = size - 1;
    if (mode == 1) {
        writeTwoStreams("WordDocument", "1Table", bytes, length);
    } else if (mode == 2) {
        const Stream workbook{"Workbook", bytes, length};
        writeCompoundFile(&workbook, 1);
    } else if (mode == 3) {
        writeTwoStreams("PowerPoint Document", "Current User", bytes, length);
    } else if (mode == 4) {
        writeOfdPackage(bytes, length);
    } else if (mode == 5) {
        writeEpub(bytes, length);
    } else {
        QFile file(filePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(bytes, qint64(length));
    }
    QByteArray head;
    {
        QFile file(filePath());
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        head = file.read(16);
    }
    const documents::Kind kind = documents::recognise(filePath(), head);
    if (kind == documents::Kind::NotDocument)
        return 0;
    int pieces = 0;
    qsizetype characters = 0;
    const documents::Outcome outcome =
        documents::extractText(filePath(), kind, [&](QStringView piece) {
            if (piece.isEmpty())
                std::abort(); // pieces carry text
            characters += piece.size();
            return stopAfter == 0 || ++pieces < stopAfter;
        });
    // A caller that stopped taking text never hears that all of it was read, and Stopped comes
    // only from the caller.
    const bool callerStopped = stopAfter != 0 && pieces >= stopAfter;
    if (callerStopped && outcome == documents::Outcome::Done)
        std::abort();
    if (!callerStopped && outcome == documents::Outcome::Stopped)
        std::abort();
    return 0;
}
