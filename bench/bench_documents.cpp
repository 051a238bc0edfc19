// Benchmarks of the document text library, driven by bench/run.sh. Commands:
//
//   search KEYWORD FILE...         prints the files that hold KEYWORD, like grep -l: the search the
//                                  run does (search::FileSearch, one for all files)
//   search-stream KEYWORD FILE...  the document text only, through DocumentTextStream (the worker
//                                  thread)
//   rss FILE                       idle and peak resident memory (KiB) around extracting FILE
//   bomb FORM FILE MIB             writes a document bomb: one text run of MIB MiB of one letter,
//                                  deflated, in the part that holds the text (FORM docx: the run
//                                  of word/document.xml; odt: a paragraph of content.xml; xlsx:
//                                  an inline string cell), streamed through libarchive so that
//                                  writing it holds no more than a block. FORM ending in "-hidden"
//                                  declares a size of 1 KiB in the archive for the bomb entry.
//   search-rss KEYWORD FILE        the run's search of FILE: prints seconds, idle and peak resident
//                                  memory (KiB), the outcome and the reason of an unreadable file
//
// The search text is what the search run reads: the extracted text cut into fields by the same
// rules as every file, fields joined with nothing between them.

#include "platform/core/field_cutter.h"
#include "platform/core/program.h"
#include "search/core/file_search.h"
#include "search/documents/document_text.h"
#include "search/documents/document_text_stream.h"

#include <QCoreApplication>
#include <QFile>

#include <QElapsedTimer>

#include <archive.h>
#include <archive_entry.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>

namespace {

// Looks for the keyword in the search text as pieces of extracted text come in, holding only the
// last keyword-length characters between pieces.
class KeywordScan
{
public:
    explicit KeywordScan(QString keyword) : m_keyword(std::move(keyword)) {}

    // False once the keyword was found (the caller stops reading).
    bool feed(QStringView piece)
    {
        const char16_t *p = piece.utf16();
        const char16_t *end = p + piece.size();
        while (p < end) {
            m_cutter.cut(p, end, *this);
            m_cutter.skipPendingLineFeed(p, end);
        }
        // The fields of the whole piece are searched at once, with the end of the previous
        // piece's fields in front.
        if (m_window.indexOf(m_keyword) >= 0)
            m_found = true;
        const qsizetype keep = m_keyword.size() - 1;
        if (m_window.size() > keep)
            m_window.remove(0, m_window.size() - keep);
        return !m_found;
    }
    bool found() const { return m_found; }

    // Field content from the cutter.
    void append(const char16_t *p, qsizetype n) { m_window.append(QStringView(p, n)); }

private:
    QString m_keyword;
    QString m_window;
    platform::FieldCutter<char16_t> m_cutter;
    bool m_found = false;
};

documents::Kind kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return documents::Kind::NotDocument;
    return documents::recognise(path, file.read(16));
}

bool streamHolds(const QString &path, const QString &keyword)
{
    KeywordScan scan(keyword);
    const documents::Kind kind = kindOf(path);
    if (kind == documents::Kind::NotDocument)
        return false;
    documents::DocumentTextStream text(path, kind);
    QString piece;
    for (;;) {
        const auto status = text.next(piece, 16);
        if (status == documents::DocumentTextStream::Status::End)
            return false;
        if (status == documents::DocumentTextStream::Status::Text && !scan.feed(piece))
            return true;
    }
}

qint64 maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

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

int writeBomb(const QString &form, const QString &path, qint64 mebibytes)
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

// VmHWM, the peak resident memory so far, in KiB.
qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return maxRssKiB();
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return maxRssKiB();
}

} // namespace

int main(int argc, char **argv)
{
    platform::pinTimeZone();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if ((command == QStringLiteral("search") || command == QStringLiteral("search-stream")) &&
        args.size() >= 3) {
        const bool stream = command == QStringLiteral("search-stream");
        int found = 0;
        search::FileSearch search;
        for (const QString &path : args.mid(2)) {
            const bool holds = stream ? streamHolds(path, args.at(1))
                                      : search.search(path, args.at(1)).outcome ==
                                            search::FileSearchResult::Outcome::Hit;
            if (holds) {
                std::printf("%s\n", qPrintable(path));
                ++found;
            }
        }
        return found > 0 ? 0 : 1;
    }
    if (command == QStringLiteral("rss") && args.size() == 2) {
        const qint64 idle = maxRssKiB();
        qint64 characters = 0;
        const documents::Outcome outcome =
            documents::extractText(args.at(1), kindOf(args.at(1)), [&](QStringView piece) {
                characters += piece.size();
                return true;
            });
        std::printf("%lld %lld %lld %d\n", idle, maxRssKiB(), characters, int(outcome));
        return 0;
    }
    if (command == QStringLiteral("bomb") && args.size() == 4)
        return writeBomb(args.at(1), args.at(2), args.at(3).toLongLong());
    if (command == QStringLiteral("search-rss") && args.size() == 3) {
        search::FileSearch search;
        const qint64 idle = peakRssKiB();
        QElapsedTimer timer;
        timer.start();
        const search::FileSearchResult result = search.search(args.at(2), args.at(1));
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const char *outcomes[] = {"hit", "no-hit", "unreadable", "stopped"};
        std::printf("%.3f %lld %lld %s %s\n", seconds, idle, peakRssKiB(),
                    outcomes[int(result.outcome)],
                    qPrintable(search::readFailureReason(result.status)));
        return 0;
    }
    std::fprintf(stderr, "see the comment at the top of bench/bench_documents.cpp\n");
    return 2;
}
