#pragma once

#include "search/documents/zip_package.h"

#include <QString>
#include <QStringView>

class QXmlStreamReader;

namespace documents {

class TextSink;

// True for mc:Fallback: the copy of newer markup (a text box, a shape) kept for readers that do not
// know it. Its text repeats what the markup beside it holds, so it is left out.
bool isMarkupCompatibilityFallback(const QXmlStreamReader &reader);

// Whether a namespace URI holds a piece, remembered for the last URI asked about: the elements of
// a part come from a handful of namespaces, mostly one after the other, and comparing with the
// last URI is cheaper than searching every URI again.
class NamespacePiece
{
public:
    explicit NamespacePiece(QStringView piece) : m_piece(piece) {}
    bool in(QStringView uri)
    {
        if (uri != m_lastUri) {
            m_lastUri = uri.toString();
            m_lastAnswer = uri.contains(m_piece);
        }
        return m_lastAnswer;
    }

private:
    QStringView m_piece;
    QString m_lastUri;
    bool m_lastAnswer = false;
};

// Counts the depth inside an element whose content is left out.
class Skipper
{
public:
    bool skipping() const { return m_depth > 0; }
    // True when the element that starts now is inside a skipped one.
    bool enter()
    {
        if (m_depth == 0)
            return false;
        ++m_depth;
        return true;
    }
    void skipThis() { m_depth = 1; }
    // True when the element that ends now was inside (or was) a skipped one.
    bool leave()
    {
        if (m_depth == 0)
            return false;
        --m_depth;
        return true;
    }

private:
    int m_depth = 0;
};

// The text of a part laid out as Word and DrawingML lay out theirs: t elements hold the text, a p
// element of the paragraph namespace ends a line, mc:Fallback copies are left out. What other
// elements start (a tab, a break, a skipped property element) is the subclass's part.
class RunTextHandler : public XmlPartHandler
{
public:
    // `paragraphNamespace`: a piece of the namespace URI of the p elements that end a line.
    RunTextHandler(TextSink &sink, QStringView paragraphNamespace)
        : m_sink(sink), m_paragraphNamespace(paragraphNamespace)
    {}

    void startElement(const QXmlStreamReader &reader) final;
    void endElement(const QXmlStreamReader &reader) final;
    void characters(QStringView text) final;

protected:
    // An element that starts outside any skipped one, and is no mc:Fallback.
    virtual void startTextElement(const QXmlStreamReader &reader) = 0;

    TextSink &m_sink;
    Skipper m_skip;
    bool m_inText = false;

private:
    NamespacePiece m_paragraphNamespace;
};

} // namespace documents
