#include "search/documents/epub/epub.h"
#include "search/documents/format_support.h"
#include "search/documents/odf/open_document.h"

namespace documents {

namespace {

// A package whose mimetype names an OpenDocument type. Without an entry list, a mimetype entry
// among the first names, unless the package is an EPUB book's (which has a mimetype too, and a
// container, which OpenDocument files have not).
bool isOpenDocumentPackage(Probe &probe)
{
    const QString mimetype = QStringLiteral("mimetype");
    const ZipPackage &package = probe.package();
    if (!package.isOpen()) {
        const QStringList &names = probe.localNames();
        return names.contains(mimetype) &&
               !names.contains(QStringLiteral("META-INF/container.xml"), Qt::CaseInsensitive) &&
               !isEpubHead(probe.source());
    }
    QByteArray content;
    return package.contains(mimetype) &&
           package.readAll(mimetype, content, 256) == ZipPackage::Status::Ok &&
           content.trimmed().startsWith("application/vnd.oasis.opendocument.");
}

} // namespace

const Format kOpenDocumentFormat{Kind::OpenDocument,
                                 "2",
                                 hasZipSignature,
                                 isOpenDocumentPackage,
                                 openPackage<OpenDocumentExtractor, kOpenDocumentFormat>,
                                 false,
                                 screenPackage};

} // namespace documents
