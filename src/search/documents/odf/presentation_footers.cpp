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

// styles.xml: the master pages that have a header or footer field, as "h:" or "f:" + the name.
class MasterFields : public XmlPartHandler
{
public:
    void startElement(const QXmlStreamReader &reader) override
    {
        Field field;
        if (reader.namespaceUri() == kStyle && reader.name() == u"master-page")
            m_master = reader.attributes().value(kStyle, "name"_L1).toString();
        else if (reader.namespaceUri() == kPresentation &&
                 isFieldName(reader.name(), field, u"", u"") && fields.size() < kMaxKept)
            fields.insert(key(field, m_master));
    }
    void endElement(const QXmlStreamReader &) override {}
    void characters(QStringView) override {}

    QSet<QString> fields;

private:
    QString m_master;
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
    if (status != Status::Ok || declarations.uses.isEmpty())
        return status;
    MasterFields masters;
    status = readXmlPart(package, QStringLiteral("styles.xml"), masters, sink);
    if (status == Status::Missing)
        return Status::Ok; // no master page shows a field
    if (status != Status::Ok)
        return status;
    QSet<QString> written;
    for (const Declarations::Use &use : std::as_const(declarations.uses)) {
        if (!masters.fields.contains(key(use.field, use.master)))
            continue;
        const QString text = declarations.texts.value(key(use.field, use.declaration));
        if (text.trimmed().isEmpty() || written.contains(text))
            continue;
        written.insert(text);
        sink.append(text);
        sink.append(QChar(u'\n'));
    }
    return Status::Ok;
}

} // namespace documents
