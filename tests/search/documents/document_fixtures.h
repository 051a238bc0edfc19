#pragma once

// Paths of the committed fixtures, the search text of a text, and small Word packages and OLE2
// compound files written on the spot.

#include "platform/core/field_cutter.h"
#include "support/document_catalogue.h"

#include "search/core/search_text.h"
#include "search/documents/registry.h"

#include <QFile>
#include <QList>
#include <QPair>
#include <QString>

#include <archive.h>
#include <archive_entry.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

namespace fixtures {

// The path of the fixture `name` below tests/data/documents (see support/document_catalogue.h).
inline QString document(const QString &name)
{
    return documentPath(name);
}

inline QString document(const char *name)
{
    return documentPath(QString::fromUtf8(name));
}

inline QString benchDocument(const QString &name)
{
    return QStringLiteral(QUARLEX_BENCH_DATA_DIR "/") + name;
}

inline QByteArray head(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(search::kDocumentHeadSize);
}

// The search text of `text`: its fields, cut by the same rules as every file, joined with nothing
// between them.
inline QString searchText(const QString &text)
{
    struct Out
    {
        QString fields;
        void append(const char16_t *p, qsizetype n) { fields.append(QStringView(p, n)); }
    } out;
    platform::FieldCutter<char16_t> cutter;
    const char16_t *p = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *end = p + text.size();
    while (p < end) {
        cutter.cut(p, end, out);
        cutter.skipPendingLineFeed(p, end);
    }
    return out.fields;
}

// What the reader the registry picks for the file at `path` gives of it, read as the search
// reads it: its kind (NotDocument when none opened it), its outcome and its search text.
struct ReadDocument
{
    documents::Kind kind = documents::Kind::NotDocument;
    documents::Outcome outcome = documents::Outcome::Damaged;
    QString text;
};

inline ReadDocument readDocument(const QString &path)
{
    ReadDocument read;
    const std::unique_ptr<documents::Document> document = documents::openDocument(path, head(path));
    if (!document)
        return read;
    read.kind = document->kind();
    platform::WorkMonitor monitor;
    read.outcome = document->extract(
        [&](QStringView piece) {
            read.text += piece;
            return true;
        },
        monitor);
    read.text = searchText(read.text);
    return read;
}

// A ZIP archive of `entries` (name, content), written with libarchive.
inline void writeZip(const QString &path, const QList<QPair<QByteArray, QByteArray>> &entries)
{
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open_filename(a, QFile::encodeName(path).constData());
    for (const auto &[name, content] : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.constData());
        archive_entry_set_size(entry, content.size());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_write_header(a, entry);
        archive_write_data(a, content.constData(), size_t(content.size()));
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
}

// An OLE2 compound file of `streams` (name, content) in its root storage, written with libgsf.
inline void writeCompoundFile(const QString &path,
                              const QList<QPair<QByteArray, QByteArray>> &streams)
{
    gsf_init();
    GsfOutput *file = gsf_output_stdio_new(QFile::encodeName(path).constData(), nullptr);
    GsfOutfile *ole = gsf_outfile_msole_new(file);
    for (const auto &[name, content] : streams) {
        GsfOutput *stream = gsf_outfile_new_child(ole, name.constData(), false);
        gsf_output_write(stream, size_t(content.size()),
                         reinterpret_cast<const guint8 *>(content.constData()));
        gsf_output_close(stream);
        g_object_unref(stream);
    }
    gsf_output_close(GSF_OUTPUT(ole)); // closes `file` too
    g_object_unref(ole);
    g_object_unref(file);
}

// Little-endian fields, for building binary records.
inline QByteArray le16(quint32 value)
{
    const char bytes[2] = {char(value & 0xFF), char(value >> 8 & 0xFF)};
    return QByteArray(bytes, 2);
}
inline QByteArray le32(quint32 value)
{
    return le16(value & 0xFFFF) + le16(value >> 16);
}

inline const QByteArray kWordContentTypes =
    "<?xml version=\"1.0\"?><Types "
    "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Override "
    "PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+"
    "xml\"/></Types>";

inline QByteArray wordDocument(const QByteArray &body)
{
    return "<?xml version=\"1.0\"?><w:document "
           "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
           body + "</w:body></w:document>";
}

} // namespace fixtures
