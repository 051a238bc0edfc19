#include "search/documents/ofd/ofd_xml.h"

#include "search/documents/text_sink.h"

#include <QXmlStreamReader>

namespace documents {

ZipPackage::Status readOfdPart(const ZipPackage &package, const QString &name,
                               XmlPartHandler &handler, const TextSink &sink)
{
    QXmlStreamReader reader;
    bool malformed = false;
    bool stopped = false;
    qsizetype run = 0; // bytes since the last "<"
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
        // Runs between two "<" of one block are shorter than the block; the run that goes on
        // from block to block is what is counted.
        const qsizetype first = block.indexOf('<');
        const qsizetype through = first < 0 ? run + block.size() : run + first;
        run = first < 0 ? through : block.size() - block.lastIndexOf('<') - 1;
        if (through > kMaxOfdMarkupRun || run > kMaxOfdMarkupRun) {
            malformed = true;
            return false;
        }
        reader.addData(block.toByteArray());
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
