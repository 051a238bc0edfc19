#include "search/documents/ooxml/office_powerpoint.h"

#include "search/documents/office_xml_text.h"
#include "search/documents/ooxml/office_relationships.h"
#include "search/documents/text_sink.h"

#include <QXmlStreamReader>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;

// DrawingML text of slides and notes: a:t runs, a:p a line, a:br a line break. Slide number fields
// are left out: they are page furniture, and a notes page repeats its slide's number.
class SlideHandler : public RunTextHandler
{
public:
    explicit SlideHandler(TextSink &sink) : RunTextHandler(sink, u"drawingml") {}

protected:
    void startTextElement(const QXmlStreamReader &reader) override
    {
        if (!m_drawing.in(reader.namespaceUri()))
            return;
        const QStringView name = reader.name();
        if (name.endsWith(u"Pr") ||
            (name == u"fld" && reader.attributes().value("type"_L1) == u"slidenum")) {
            m_skip.skipThis();
        } else if (name == u"t") {
            m_inText = true;
        } else if (name == u"br") {
            m_sink.append(u'\n');
        }
    }

private:
    NamespacePiece m_drawing{u"drawingml"};
};

} // namespace

Outcome readPresentation(const ZipPackage &package, const QString &mainPart, TextSink &sink)
{
    QList<Relationship> relationships;
    QList<QString> slides;
    Status status = readPartList(package, mainPart, u"sldId", sink, relationships, slides);
    if (status != Status::Ok)
        return outcomeOf(status);

    QList<QString> notes;
    for (const QString &id : slides) {
        const Relationship *r = relationshipOfId(relationships, id);
        const QString slide = r ? r->target : QString();
        if (slide.isEmpty())
            return Outcome::Damaged;
        SlideHandler handler(sink);
        status = readXmlPart(package, slide, handler, sink);
        if (status != Status::Ok)
            return outcomeOf(status);
        QList<Relationship> slideRelationships;
        status = readRelationships(package, slide, slideRelationships);
        if (status != Status::Ok)
            return outcomeOf(status);
        notes += targetsOfType(slideRelationships, u"/notesSlide");
    }
    for (const QString &part : notes) {
        SlideHandler handler(sink);
        status = readXmlPart(package, part, handler, sink);
        if (status != Status::Ok && status != Status::Missing)
            return outcomeOf(status);
    }
    return Outcome::Done;
}

} // namespace documents
