#include "search/documents/ooxml/office_open_xml.h"

#include "search/documents/ooxml/office_excel.h"
#include "search/documents/ooxml/office_powerpoint.h"
#include "search/documents/ooxml/office_word.h"
#include "search/documents/zip_package.h"

#include <QXmlStreamReader>

#include <optional>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;

enum class Family { None, Word, Excel, PowerPoint };

// The family whose main part has `contentType`. Binary main parts (.xlsb) do not count: their
// content type does not end with "main+xml".
Family familyOf(QStringView contentType)
{
    if (!contentType.endsWith(u"main+xml"))
        return Family::None;
    if (contentType.contains(u"wordprocessingml") || contentType.contains(u"ms-word"))
        return Family::Word;
    if (contentType.contains(u"spreadsheetml") || contentType.contains(u"ms-excel"))
        return Family::Excel;
    if (contentType.contains(u"presentationml") || contentType.contains(u"ms-powerpoint"))
        return Family::PowerPoint;
    return Family::None;
}

// A package part name as an entry name: without the leading slash.
QString entryOf(QStringView partName)
{
    return (partName.startsWith(u'/') ? partName.mid(1) : partName).toString();
}

// The main part named by [Content_Types].xml, and its family.
Family findMainPart(const QByteArray &contentTypes, QString *mainPart)
{
    QXmlStreamReader reader(contentTypes);
    while (reader.readNextStartElement()) {
        if (reader.name() == u"Types")
            continue;
        if (reader.name() == u"Override") {
            const QXmlStreamAttributes attributes = reader.attributes();
            const Family family = familyOf(attributes.value("ContentType"_L1));
            if (family != Family::None) {
                if (mainPart)
                    *mainPart = entryOf(attributes.value("PartName"_L1));
                return family;
            }
        }
        reader.skipCurrentElement();
    }
    return Family::None;
}

// [Content_Types].xml as office suites write it, read without the XML reader: ASCII, an optional
// declaration, a Types root whose children are empty Default and Override elements, attributes
// without references, prefixes or line breaks. Anything else is left to the XML reader.
class PlainContentTypes
{
public:
    explicit PlainContentTypes(QByteArrayView xml) : m_xml(xml) {}

    // The family of the first Override whose content type names a main part, as findMainPart
    // finds it; no value when the part is not written plainly.
    std::optional<Family> family()
    {
        if (m_xml.startsWith("<?xml") && !declaration())
            return std::nullopt;
        space();
        if (!take("<Types") || !attributes())
            return std::nullopt;
        if (take("/>"))
            return Family::None;
        if (!take(">"))
            return std::nullopt;
        for (;;) {
            space();
            // The end of the root: no Override named a main part.
            if (take("</"))
                return Family::None;
            const bool override = take("<Override");
            if ((!override && !take("<Default")) || !attributes() || !take("/>"))
                return std::nullopt;
            if (override) {
                const Family f = familyOf(QString::fromLatin1(value("ContentType")));
                if (f != Family::None)
                    return f;
            }
        }
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isNameChar(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.';
    }

    bool take(QByteArrayView text)
    {
        if (!m_xml.sliced(m_at).startsWith(text))
            return false;
        m_at += text.size();
        return true;
    }
    // At least one white space character.
    bool space()
    {
        const qsizetype from = m_at;
        while (m_at < m_xml.size() && isSpace(m_xml[m_at]))
            ++m_at;
        return m_at > from;
    }

    // The attributes of a start tag (or of the declaration) up to its '>', "/>" or "?>":
    // name="value" or name='value', each after white space, no name twice.
    bool attributes()
    {
        m_attributes.clear();
        for (;;) {
            const bool spaced = space();
            if (m_at >= m_xml.size() || m_xml[m_at] == '>' || m_xml[m_at] == '/' ||
                m_xml[m_at] == '?')
                return true;
            const qsizetype from = m_at;
            while (m_at < m_xml.size() && isNameChar(m_xml[m_at]))
                ++m_at;
            const QByteArrayView name = m_xml.sliced(from, m_at - from);
            if (!spaced || name.isEmpty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-' ||
                name[0] == '.' || !take("=") || m_at >= m_xml.size())
                return false;
            const char quote = m_xml[m_at];
            if (quote != '"' && quote != '\'')
                return false;
            const qsizetype start = ++m_at;
            while (m_at < m_xml.size() && m_xml[m_at] != quote) {
                const char c = m_xml[m_at];
                if (c == '<' || c == '&' || c == '\t' || c == '\r' || c == '\n' || uchar(c) >= 0x80)
                    return false;
                ++m_at;
            }
            if (m_at >= m_xml.size())
                return false;
            for (const auto &[n, v] : m_attributes) {
                if (n == name)
                    return false;
            }
            m_attributes.push_back({name, m_xml.sliced(start, m_at - start)});
            ++m_at;
        }
    }

    QByteArrayView value(QByteArrayView name) const
    {
        for (const auto &[n, v] : m_attributes) {
            if (n == name)
                return v;
        }
        return {};
    }

    // <?xml version="1.0" encoding="UTF-8" standalone="yes"?>, encoding and standalone optional.
    bool declaration()
    {
        m_at = 5;
        if (!attributes() || !take("?>") || m_attributes.empty() ||
            m_attributes[0].first != "version" || m_attributes[0].second != "1.0")
            return false;
        std::size_t next = 1;
        if (next < m_attributes.size() && m_attributes[next].first == "encoding") {
            if (m_attributes[next].second.compare("UTF-8", Qt::CaseInsensitive) != 0)
                return false;
            ++next;
        }
        if (next < m_attributes.size() && m_attributes[next].first == "standalone") {
            if (m_attributes[next].second != "yes" && m_attributes[next].second != "no")
                return false;
            ++next;
        }
        return next == m_attributes.size();
    }

    QByteArrayView m_xml;
    qsizetype m_at = 0;
    std::vector<std::pair<QByteArrayView, QByteArrayView>> m_attributes;
};

} // namespace

bool declaresOfficeMainPart(const QByteArray &contentTypes)
{
    if (const std::optional<Family> family = PlainContentTypes(contentTypes).family())
        return *family != Family::None;
    return findMainPart(contentTypes, nullptr) != Family::None;
}

Outcome OfficeOpenXmlExtractor::extract(const Source &source, TextSink &sink)
{
    ZipPackage package;
    if (!package.open(source))
        return Outcome::Damaged;
    QByteArray contentTypes;
    const Status status = package.readAll(QStringLiteral("[Content_Types].xml"), contentTypes);
    if (status != Status::Ok)
        return outcomeOf(status);
    QString mainPart;
    switch (findMainPart(contentTypes, &mainPart)) {
    case Family::Word:
        return readWordDocument(package, mainPart, sink);
    case Family::Excel:
        return readWorkbook(package, mainPart, sink);
    case Family::PowerPoint:
        return readPresentation(package, mainPart, sink);
    case Family::None:
        break;
    }
    return Outcome::Damaged;
}

} // namespace documents
