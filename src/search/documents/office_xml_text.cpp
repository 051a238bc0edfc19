#include "search/documents/office_xml_text.h"

#include "search/documents/text_sink.h"

#include <QXmlStreamReader>

namespace documents {

bool isMarkupCompatibilityFallback(const QXmlStreamReader &reader)
{
    return reader.name() == u"Fallback" && reader.namespaceUri().contains(u"markup-compatibility");
}

void RunTextHandler::startElement(const QXmlStreamReader &reader)
{
    if (m_skip.enter())
        return;
    if (isMarkupCompatibilityFallback(reader)) {
        m_skip.skipThis();
        return;
    }
    startTextElement(reader);
}

void RunTextHandler::endElement(const QXmlStreamReader &reader)
{
    if (m_skip.leave())
        return;
    const QStringView name = reader.name();
    if (name == u"t")
        m_inText = false;
    else if (name == u"p" && m_paragraphNamespace.in(reader.namespaceUri()))
        m_sink.append(u'\n');
}

void RunTextHandler::characters(QStringView text)
{
    if (m_inText && !m_skip.skipping())
        m_sink.append(text);
}

} // namespace documents
