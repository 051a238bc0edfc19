#include "search/documents/odf/presentation_footers.h"

#include "search/documents/text_sink.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QXmlStreamReader>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;

constexpr QLatin1StringView kPresentation("urn:oasis:names:tc:opendocument:xmlns:presentation:1.0");
constexpr QLatin1StringView kStyle("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
constexpr QLatin1StringView kDraw("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0");
constexpr QLatin1StringView kText("urn:oasis:names:tc:opendocument:xmlns:text:1.0");

// Declarations, masters and page uses kept, and the characters of one declaration: a real
// presentation has a few of each, and a forged one must not fill memory.
constexpr qsizetype kMaxKept = 1 << 14;
constexpr qsizetype kMaxDeclaration = 1 << 16;

enum class Field { Header, Footer };

// The element name of `field` with `suffix`: "footer", "footer-decl", "use-footer-name".
bool isFieldName(QStringView name, Field &field, QStringView prefix, QStringView suffix)
{
    if (!name.startsWith(prefix) || !name.endsWith(suffix))
        return false;
    const QStringView middle =
        name.sliced(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (middle == u"header")
        field = Field::Header;
    else if (middle == u"footer")
        field = Field::Footer;
    else
        return false;
    return true;
}

QString key(Field field, QStringView name)
{
    return (field == Field::Header ? u"h:"_s : u"f:"_s) + name;
}

// styles.xml: the master pages that have a header or footer field, as "h:" or "f:" + the name,
// and the text each master page shows of its own: the paragraphs of its frames that are no
// placeholder (a footer typed into the master, a text box drawn on it). The master's notes page,
// the prompts of its placeholders and the fields its frames show (page numbers, dates) are not
// that text.
class MasterFields : public XmlPartHandler
{
public:
    void startElement(const QXmlStreamReader &reader) override
    {
        const QStringView ns = reader.namespaceUri();
        const QStringView name = reader.name();
        Field field;
        if (ns == kStyle && name == u"master-page") {
            m_master = reader.attributes().value(kStyle, "name"_L1).toString();
            m_inMaster = true;
        } else if (ns == kPresentation && isFieldName(name, field, u"", u"") &&
                   fields.size() < kMaxKept) {
            fields.insert(key(field, m_master));
        }
        if (!m_inMaster)
            return;
        ++m_depth;
        if (m_skipFrom > 0)
            return;
        if ((ns == kPresentation && name == u"notes") || (ns == kText && isField(name)) ||
            (ns == kDraw && name == u"frame" &&
             reader.attributes().value(kPresentation, "placeholder"_L1) == u"true")) {
            m_skipFrom = m_depth;
        } else if (ns == kText && (name == u"p" || name == u"h")) {
            m_paragraph.clear();
            m_inParagraph = true;
        } else if (ns == kText && m_inParagraph && (name == u"s" || name == u"tab")) {
            characters(name == u"s" ? u" " : u"\t");
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (!m_inMaster)
            return;
        if (m_skipFrom == m_depth)
            m_skipFrom = 0;
        --m_depth;
        const QStringView ns = reader.namespaceUri();
        const QStringView name = reader.name();
        if (m_skipFrom == 0 && m_inParagraph && ns == kText && (name == u"p" || name == u"h")) {
            m_inParagraph = false;
            QStringList &paragraphs = shown[m_master];
            if (!m_paragraph.trimmed().isEmpty() && paragraphs.size() < kMaxKept)
                paragraphs.append(m_paragraph);
        } else if (ns == kStyle && name == u"master-page") {
            m_inMaster = false;
        }
    }
    void characters(QStringView text) override
    {
        if (m_inParagraph && m_skipFrom == 0 && m_paragraph.size() + text.size() <= kMaxDeclaration)
            m_paragraph.append(text);
    }

    QSet<QString> fields;
    QHash<QString, QStringList> shown; // by master page name

private:
    // The fields a master's frames show, whose text in styles.xml is a stand-in (<number>).
    static bool isField(QStringView name)
    {
        return name == u"page-number" || name == u"page-count" || name == u"date" ||
               name == u"time" || name == u"title" || name == u"file-name";
    }

    QString m_master;
    QString m_paragraph;
    int m_depth = 0;
    int m_skipFrom = 0; // the depth of the element whose text is no master text, 0 for none
    bool m_inMaster = false;
    bool m_inParagraph = false;
};

// content.xml: the text of each declaration, and the declarations each page uses with its master.
class Declarations : public XmlPartHandler
{
public:
    struct Use
    {
        Field field;
        QString declaration;
        QString master;
    };

    void startElement(const QXmlStreamReader &reader) override
    {
        if (reader.namespaceUri() == kPresentation &&
            isFieldName(reader.name(), m_field, u"", u"-decl")) {
            m_inDeclaration = true;
            m_name = reader.attributes().value(kPresentation, "name"_L1).toString();
            m_text.clear();
        } else if (reader.namespaceUri() == kDraw && reader.name() == u"page") {
            m_master = reader.attributes().value(kDraw, "master-page-name"_L1).toString();
            if (!masters.contains(m_master) && masters.size() < kMaxKept)
                masters.append(m_master);
            useAll(reader.attributes());
        } else if (reader.namespaceUri() == kPresentation && reader.name() == u"notes") {
            useAll(reader.attributes()); // the notes page of the page, on the same master
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        Field field;
        if (m_inDeclaration && reader.namespaceUri() == kPresentation &&
            isFieldName(reader.name(), field, u"", u"-decl")) {
            m_inDeclaration = false;
            if (texts.size() < kMaxKept)
                texts.insert(key(m_field, m_name), m_text);
        }
    }
    void characters(QStringView text) override
    {
        if (m_inDeclaration && m_text.size() + text.size() <= kMaxDeclaration)
            m_text.append(text);
    }

    QHash<QString, QString> texts; // by "h:" or "f:" + the declaration's name
    QList<Use> uses;               // each distinct one, in page order
    QStringList masters;           // the master pages the pages use, in page order

private:
    void useAll(const QXmlStreamAttributes &attributes)
    {
        for (const auto &attribute : attributes) {
            Field field;
            if (attribute.namespaceUri() == kPresentation &&
                isFieldName(attribute.name(), field, u"use-", u"-name"))
                use(field, attribute.value().toString(), m_master);
        }
    }

    void use(Field field, const QString &declaration, const QString &master)
    {
        const QString seen = key(field, declaration) + u'\n' + master;
        if (m_seen.size() >= kMaxKept || m_seen.contains(seen))
            return;
        m_seen.insert(seen);
        uses.append({field, declaration, master});
    }

    QSet<QString> m_seen;
    QString m_master; // of the page being read
    bool m_inDeclaration = false;
    Field m_field = Field::Footer;
    QString m_name;
    QString m_text;
};

} // namespace

ZipPackage::Status writePresentationFooters(const ZipPackage &package, TextSink &sink)
{
    Declarations declarations;
    Status status = readXmlPart(package, QStringLiteral("content.xml"), declarations, sink);
    if (status != Status::Ok || declarations.masters.isEmpty())
        return status;
    MasterFields masters;
    status = readXmlPart(package, QStringLiteral("styles.xml"), masters, sink);
    if (status == Status::Missing)
        return Status::Ok; // no master page shows a field
    if (status != Status::Ok)
        return status;
    QSet<QString> written;
    const auto write = [&](const QString &text) {
        if (text.trimmed().isEmpty() || written.contains(text))
            return;
        written.insert(text);
        sink.append(text);
        sink.append(QChar(u'\n'));
    };
    for (const Declarations::Use &use : std::as_const(declarations.uses)) {
        if (masters.fields.contains(key(use.field, use.master)))
            write(declarations.texts.value(key(use.field, use.declaration)));
    }
    for (const QString &master : std::as_const(declarations.masters)) {
        for (const QString &paragraph : masters.shown.value(master))
            write(paragraph);
    }
    return Status::Ok;
}

} // namespace documents
