#include "search/documents/format_support.h"
#include "search/documents/ofd/ofd.h"

#include <QRegularExpression>

namespace documents {

namespace {

// An OFD package has OFD.xml at its root, with an ofd:OFD root element; one whose OFD.xml cannot
// be read is a damaged OFD file, which extraction reports. Without an entry list: OFD writers
// name the documents' parts Doc_0/Document.xml, Doc_1/Document.xml ..., and some write OFD.xml
// last.
bool isOfdPackage(Probe &probe)
{
    const ZipPackage &package = probe.package();
    if (!package.isOpen()) {
        static const QRegularExpression ofdPart(
            QStringLiteral("^(OFD\\.xml|Doc_[0-9]+/Document\\.xml)$"),
            QRegularExpression::CaseInsensitiveOption);
        for (const QString &name : probe.localNames()) {
            if (ofdPart.match(name).hasMatch())
                return true;
        }
        return false;
    }
    const QString ofd = QStringLiteral("OFD.xml");
    if (!package.contains(ofd))
        return false;
    QByteArray head;
    const ZipPackage::Status status = package.read(ofd, [&](QByteArrayView block) {
        head.append(block.first(std::min<qsizetype>(block.size(), (64 << 10) - head.size())));
        return head.size() < (64 << 10);
    });
    if (status != ZipPackage::Status::Ok && status != ZipPackage::Status::Stopped)
        return true;
    return hasOfdRoot(head);
}

} // namespace

// Scanned pages are recognised: on a worker.
const Format kOfdFormat{
    Kind::Ofd, "2",          hasZipSignature, isOfdPackage, openPackage<OfdExtractor, kOfdFormat>,
    true,      screenPackage};

} // namespace documents
