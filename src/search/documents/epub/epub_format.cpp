#include "search/documents/epub/epub.h"
#include "search/documents/format_support.h"
#include "search/documents/ole2/compound_file.h"

namespace documents {

bool isEpubHead(const Source &source)
{
    // The first entry of an EPUB file is its mimetype, stored, so that its content follows the
    // 30-byte local header, the name and the extra field.
    const QByteArray head = source.head(128);
    if (head.size() < 30 || le16(head, 8) != 0) // compressed
        return false;
    const qsizetype at = 30 + le16(head, 26) + le16(head, 28);
    return at < head.size() && QByteArrayView(head).sliced(at).startsWith("application/epub+zip");
}

namespace {

// Without an entry list: a container among the first names (which OpenDocument files have not),
// or a mimetype entry at the start of an EPUB book.
bool isEpub(Probe &probe)
{
    const ZipPackage &package = probe.package();
    if (package.isOpen())
        return isEpubPackage(package);
    const QStringList &names = probe.localNames();
    return names.contains(QStringLiteral("META-INF/container.xml"), Qt::CaseInsensitive) ||
           (names.contains(QStringLiteral("mimetype")) && isEpubHead(probe.source()));
}

} // namespace

const Format kEpubFormat{
    Kind::Epub, "1",    hasZipSignature, isEpub, openPackage<EpubExtractor, kEpubFormat>,
    false,      nullptr};

} // namespace documents
