// What the readers make of a package's parts: an XML part read through its handler, and the
// outcome of a reading that ended on an entry's status.
#include "search/documents/zip_package.h"

#include "search/documents/text_sink.h"
#include "search/documents/xml_feed.h"

#include <QXmlStreamReader>

namespace documents {

Outcome outcomeOf(ZipPackage::Status status)
{
    switch (status) {
    case ZipPackage::Status::Ok:
        return Outcome::Done;
    case ZipPackage::Status::Stopped:
        return Outcome::Stopped;
    case ZipPackage::Status::Encrypted:
        return Outcome::Encrypted;
    case ZipPackage::Status::Missing:
    case ZipPackage::Status::Damaged:
    case ZipPackage::Status::TooLarge:
        break;
    }
    return Outcome::Damaged;
}

ZipPackage::Status readXmlPart(const ZipPackage &package, const QString &name,
                               XmlPartHandler &handler, const TextSink &sink)
{
    QXmlStreamReader reader;
    XmlFeed feed;
    QByteArray fed;
    bool malformed = false;
    bool stopped = false;
    // Reads every token the data given so far holds; false to stop inflating.
    const auto drain = [&] {
        while (!reader.atEnd()) {
            switch (reader.readNext()) {
            case QXmlStreamReader::StartElement:
                handler.startElement(reader);
                break;
            case QXmlStreamReader::EndElement:
                handler.endElement(reader);
                break;
            case QXmlStreamReader::Characters:
                handler.characters(reader.text());
                break;
            case QXmlStreamReader::Invalid:
                if (reader.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                    return true; // wants more data
                malformed = true;
                return false;
            default:
                break;
            }
            if (sink.stopRequested()) {
                stopped = true;
                return false;
            }
        }
        return true;
    };
    const ZipPackage::Status status = package.read(name, [&](QByteArrayView block) {
        fed.resize(0);
        if (!feed.feed(block, fed)) {
            malformed = true;
            return false;
        }
        reader.addData(fed);
        return drain();
    });
    if (stopped)
        return ZipPackage::Status::Stopped;
    if (malformed)
        return ZipPackage::Status::Damaged;
    if (status != ZipPackage::Status::Ok)
        return status;
    // All of the part was read: the document must be complete.
    if (!reader.atEnd() || reader.hasError())
        return ZipPackage::Status::Damaged;
    return ZipPackage::Status::Ok;
}

} // namespace documents
