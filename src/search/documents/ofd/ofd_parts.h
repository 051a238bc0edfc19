#pragma once

// What the parts that list other parts say: OFD.xml (the documents), Document.xml (pages and
// template pages) and the annotation list (the annotation files of each page).

#include "search/documents/zip_package.h"

#include <QHash>
#include <QStringList>
#include <QXmlStreamReader>

#include <vector>

namespace documents::ofd {

using namespace Qt::Literals::StringLiterals;

// A path written in a part is kept up to this many characters: no real path is longer.
constexpr qsizetype kMaxLocation = 4096;
// The lists the parts give (documents, pages, template pages, annotation files) are read up to
// this many entries each, so that a crafted part cannot fill memory with them.
constexpr qsizetype kMaxListed = qsizetype(1) << 18;

// Collects the character data of one element, within kMaxLocation.
class LocationText
{
public:
    void start()
    {
        m_text.clear();
        m_open = true;
    }
    void add(QStringView text)
    {
        if (m_open && m_text.size() + text.size() <= kMaxLocation)
            m_text.append(text);
    }
    // The text collected, once the element ends; empty when it was not open.
    QString end()
    {
        if (!m_open)
            return QString();
        m_open = false;
        return m_text.trimmed();
    }

private:
    QString m_text;
    bool m_open = false;
};

inline QString attribute(const QXmlStreamReader &reader, QLatin1StringView name)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    const QStringView value = attributes.value(name);
    return value.first(std::min(value.size(), kMaxLocation)).toString();
}

// OFD.xml: the DocRoot of every DocBody, in order.
class RootHandler : public XmlPartHandler
{
public:
    void startElement(const QXmlStreamReader &reader) override
    {
        if (m_depth++ == 0)
            isOfd = reader.name() == u"OFD";
        if (reader.name() == u"DocRoot")
            m_text.start();
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        --m_depth;
        if (reader.name() == u"DocRoot") {
            const QString location = m_text.end();
            if (!location.isEmpty() && documentRoots.size() < kMaxListed)
                documentRoots.append(location);
        }
    }
    void characters(QStringView text) override { m_text.add(text); }

    QStringList documentRoots;
    bool isOfd = false;

private:
    LocationText m_text;
    int m_depth = 0;
};

struct TemplatePage
{
    QString location;
    QString zOrder;
};

struct PageEntry
{
    QString id;
    QString location;
};

// What Document.xml says of a document: its pages, its template pages and its annotations.
struct DocumentParts
{
    QString folder; // of Document.xml, which the locations it gives start from
    std::vector<PageEntry> pages;
    QHash<QString, TemplatePage> templates; // by ID
    QString annotations;                    // the location of the annotation list, if any
    QStringList resources;                  // the resource files (PublicRes, DocumentRes)
};

class DocumentHandler : public XmlPartHandler
{
public:
    explicit DocumentHandler(DocumentParts &parts) : m_parts(parts) {}

    void startElement(const QXmlStreamReader &reader) override
    {
        const QStringView name = reader.name();
        if (m_depth == 1 && name == u"Pages") {
            m_inPages = true;
        } else if (m_inPages && m_depth == 2 && name == u"Page") {
            if (m_parts.pages.size() < size_t(kMaxListed))
                m_parts.pages.push_back(
                    {attribute(reader, "ID"_L1), attribute(reader, "BaseLoc"_L1)});
        } else if (m_depth == 1 && name == u"Annotations") {
            m_text.start();
        } else if (m_depth == 2 && (name == u"PublicRes" || name == u"DocumentRes")) {
            m_text.start();
        } else if (name == u"TemplatePage" && m_parts.templates.size() < kMaxListed) {
            m_parts.templates.insert(attribute(reader, "ID"_L1), {attribute(reader, "BaseLoc"_L1),
                                                                  attribute(reader, "ZOrder"_L1)});
        }
        ++m_depth;
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        --m_depth;
        if (m_depth == 1 && reader.name() == u"Pages")
            m_inPages = false;
        else if (m_depth == 1 && reader.name() == u"Annotations")
            m_parts.annotations = m_text.end();
        else if (m_depth == 2 && (reader.name() == u"PublicRes" || reader.name() == u"DocumentRes"))
            addResource(m_text.end());
    }
    void characters(QStringView text) override { m_text.add(text); }

private:
    void addResource(const QString &location)
    {
        if (!location.isEmpty() && m_parts.resources.size() < 64)
            m_parts.resources.append(location);
    }

    DocumentParts &m_parts;
    LocationText m_text;
    int m_depth = 0;
    bool m_inPages = false;
};

// A resource file: the media files of its MultiMedia resources (images), by ID, as locations
// from the resource file's own folder (its BaseLoc folder joined in).
class ResourceHandler : public XmlPartHandler
{
public:
    void startElement(const QXmlStreamReader &reader) override
    {
        const QStringView name = reader.name();
        if (m_depth++ == 0) {
            m_base = attribute(reader, "BaseLoc"_L1);
        } else if (name == u"MultiMedia") {
            m_id = attribute(reader, "ID"_L1);
        } else if (name == u"MediaFile") {
            m_text.start();
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        --m_depth;
        if (reader.name() != u"MediaFile")
            return;
        const QString location = m_text.end();
        if (location.isEmpty() || m_id.isEmpty() || media.size() >= kMaxListed)
            return;
        // A location from the root stays so; others are below the BaseLoc folder.
        const bool fromRoot = location.startsWith(u'/') || location.startsWith(u'\\');
        media.insert(m_id, fromRoot || m_base.isEmpty() ? location : m_base + u'/' + location);
    }
    void characters(QStringView text) override { m_text.add(text); }

    QHash<QString, QString> media;

private:
    QString m_base;
    QString m_id;
    LocationText m_text;
    int m_depth = 0;
};

// A resource file, of which only the composite graphic unit `id` is handed on to `inner`: the
// drawing a CompositeObject of that ResourceID shows (its Content, whose text objects are text of
// the page that draws it).
class CompositeUnitFilter : public XmlPartHandler
{
public:
    CompositeUnitFilter(QString id, XmlPartHandler &inner) : m_id(std::move(id)), m_inner(inner) {}

    void startElement(const QXmlStreamReader &reader) override
    {
        if (m_depth > 0) {
            ++m_depth;
            m_inner.startElement(reader);
        } else if (reader.name() == u"CompositeGraphicUnit" && attribute(reader, "ID"_L1) == m_id) {
            m_depth = 1;
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (m_depth > 1)
            m_inner.endElement(reader);
        if (m_depth > 0)
            --m_depth;
    }
    void characters(QStringView text) override
    {
        if (m_depth > 1)
            m_inner.characters(text);
    }

private:
    const QString m_id;
    XmlPartHandler &m_inner;
    int m_depth = 0; // inside the unit: 1 + the depth below it
};

// The annotation list: the annotation files of each page, by page ID.
class AnnotationListHandler : public XmlPartHandler
{
public:
    void startElement(const QXmlStreamReader &reader) override
    {
        if (reader.name() == u"Page")
            m_page = attribute(reader, "PageID"_L1);
        else if (reader.name() == u"FileLoc")
            m_text.start();
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (reader.name() != u"FileLoc")
            return;
        const QString location = m_text.end();
        if (!location.isEmpty() && m_listed < kMaxListed) {
            files[m_page].append(location);
            ++m_listed;
        }
    }
    void characters(QStringView text) override { m_text.add(text); }

    QHash<QString, QStringList> files;

private:
    QString m_page;
    LocationText m_text;
    qsizetype m_listed = 0;
};

} // namespace documents::ofd
