#include "search/documents/ooxml/office_word.h"

#include "search/documents/office_xml_text.h"
#include "search/documents/ooxml/office_relationships.h"
#include "search/documents/text_sink.h"

#include <QXmlStreamReader>

namespace documents {

namespace {

using Status = ZipPackage::Status;

// Word's text: w:t runs, w:p a line. Property elements (w:pPr, w:rPr, ...) hold no text and are
// skipped whole; that also keeps the tab stops of w:tabs from counting as tab characters. The
// fallback copy of a text box (mc:Fallback) and text moved away by a tracked change are left out.
class WordHandler : public RunTextHandler
{
public:
    explicit WordHandler(TextSink &sink) : RunTextHandler(sink, u"wordprocessingml") {}

protected:
    void startTextElement(const QXmlStreamReader &reader) override
    {
        const QStringView name = reader.name();
        const QStringView ns = reader.namespaceUri();
        if (m_math.in(ns)) {
            m_inText = name == u"t";
            return;
        }
        if (!m_word.in(ns))
            return;
        if (name.endsWith(u"Pr") || name == u"moveFrom") {
            m_skip.skipThis();
        } else if (name == u"t") {
            m_inText = true;
        } else if (name == u"tab" || name == u"ptab") {
            m_sink.append(u'\t');
        } else if (name == u"br" || name == u"cr") {
            m_sink.append(u'\n');
        } else if (name == u"noBreakHyphen") {
            m_sink.append(u'-');
        }
    }

private:
    NamespacePiece m_math{u"/math"};
    NamespacePiece m_word{u"wordprocessingml"};
};

} // namespace

Outcome readWordDocument(const ZipPackage &package, const QString &mainPart, TextSink &sink)
{
    WordHandler body(sink);
    Status status = readXmlPart(package, mainPart, body, sink);
    if (status != Status::Ok)
        return outcomeOf(status);
    QList<Relationship> relationships;
    status = readRelationships(package, mainPart, relationships);
    if (status != Status::Ok)
        return outcomeOf(status);
    for (const QStringView type :
         {u"/header", u"/footer", u"/footnotes", u"/endnotes", u"/comments"}) {
        for (const QString &part : targetsOfType(relationships, type)) {
            WordHandler handler(sink);
            status = readXmlPart(package, part, handler, sink);
            // A dangling reference to a header or a note costs that part, not the document.
            if (status != Status::Ok && status != Status::Missing)
                return outcomeOf(status);
        }
    }
    return Outcome::Done;
}

} // namespace documents
