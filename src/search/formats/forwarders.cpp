// The program's side of the document and archive readers: each function goes through the format
// module's table, which the first call loads. Without a usable module every document is a file
// no reader knows (NotDocument, no archive), so it is searched as the bytes it holds.
#include "search/archives/archive_signature.h"
#include "search/archives/member_copy.h"
#include "search/formats/format_module.h"
#include "search/formats/format_table.h"

namespace documents {

Kind recognise(const Source &source, QByteArrayView head, ZipPackage *package)
{
    // A file that starts as no document does is told without the module.
    if (!mayBeDocument(head))
        return Kind::NotDocument;
    const formats::FormatTable *table = formats::table();
    return table ? table->recognise(source, head, package) : Kind::NotDocument;
}

QByteArray extractorVersion()
{
    const formats::FormatTable *table = formats::table();
    // Matches no kept text: whatever an earlier run kept is not used without its readers.
    return table ? table->extractorVersion() : QByteArrayLiteral("no-readers");
}

Outcome extractText(const Source &source, Kind kind, const TextOut &out,
                    const std::atomic<bool> *stop, const ProgressOut &progress)
{
    const formats::FormatTable *table = formats::table();
    // As the readers answer for a kind they do not know.
    return table ? table->extractText(source, kind, out, stop, progress) : Outcome::Damaged;
}

TextScreen::TextScreen(QStringView keyword)
{
    if (const formats::FormatTable *table = formats::table())
        table->screenNeedles(keyword, m_needles);
}

TextScreen::Verdict TextScreen::screen(const Source &source, Kind kind,
                                       const std::function<bool()> &keepGoing,
                                       const ZipPackage *opened) const
{
    const formats::FormatTable *table = formats::table();
    return table ? table->screen(*this, source, kind, keepGoing, opened) : Verdict::Possible;
}

} // namespace documents

namespace archives {

// Without the readers an archive is searched as the bytes it holds.
bool looksLikeArchive(QByteArrayView head)
{
    return hasArchiveSignature(head) && formats::table();
}

WalkEnd walkArchive(platform::ChunkReader &file, const QByteArray &head, const QString &name,
                    Visitor &visitor)
{
    const formats::FormatTable *table = formats::table();
    return table ? table->walkFile(file, head, name, visitor) : WalkEnd::Done;
}

WalkEnd walkArchive(const QByteArray &bytes, const QString &name, Visitor &visitor)
{
    const formats::FormatTable *table = formats::table();
    return table ? table->walkBytes(bytes, name, visitor) : WalkEnd::Done;
}

// Streams are made by a walk, so the module is loaded whenever one is read.
qint64 MemberStream::readInto(QByteArray &buffer, qsizetype size)
{
    const formats::FormatTable *table = formats::table();
    return table ? table->memberReadInto(*this, buffer, size) : 0;
}

bool MemberStream::rewind()
{
    const formats::FormatTable *table = formats::table();
    return table && table->memberRewind(*this);
}

QString copyMember(const QString &archivePath, const QList<int> &chain)
{
    const formats::FormatTable *table = formats::table();
    return table ? table->copyMember(archivePath, chain) : QString();
}

} // namespace archives
