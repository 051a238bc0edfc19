#include "search/documents/format_support.h"
#include "search/documents/ooxml/office_open_xml.h"

namespace documents {

namespace {

// A package that declares an Office main part in [Content_Types].xml; one whose declaration
// cannot be read is a damaged document, which extraction reports. Without an entry list (a cut
// download), the names of the first entries still tell one: office suites do not all write
// [Content_Types].xml first, and the package relationships name is as telling.
bool isOfficePackage(Probe &probe)
{
    const QString contentTypes = QStringLiteral("[Content_Types].xml");
    const ZipPackage &package = probe.package();
    if (!package.isOpen()) {
        for (const QString &name : probe.localNames()) {
            if (name.compare(contentTypes, Qt::CaseInsensitive) == 0 ||
                name.compare(u"_rels/.rels", Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }
    if (!package.contains(contentTypes))
        return false;
    QByteArray content;
    const ZipPackage::Status status = package.readAll(contentTypes, content, 4 << 20);
    return status != ZipPackage::Status::Ok || declaresOfficeMainPart(content);
}

} // namespace

const Format kOfficeOpenXmlFormat{Kind::OfficeOpenXml,
                                  "2", // 2: numbers as their cells' number formats show them
                                  hasZipSignature,
                                  isOfficePackage,
                                  openPackage<OfficeOpenXmlExtractor, kOfficeOpenXmlFormat>,
                                  false,
                                  screenPackage};

} // namespace documents
