#include "search/documents/ooxml/office_relationships.h"

#include <QDir>
#include <QXmlStreamReader>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;

// The r:id of every child element `element` (sheet, sldId) in document order.
class IdListHandler : public XmlPartHandler
{
public:
    IdListHandler(QStringView element, QList<QString> &ids) : m_element(element), m_ids(ids) {}

    void startElement(const QXmlStreamReader &reader) override
    {
        if (reader.name() == m_element)
            m_ids.append(relationshipId(reader));
    }
    void endElement(const QXmlStreamReader &) override {}
    void characters(QStringView) override {}

private:
    QStringView m_element;
    QList<QString> &m_ids;
};

} // namespace

Status readRelationships(const ZipPackage &package, const QString &part,
                         QList<Relationship> &relationships)
{
    relationships.clear();
    const qsizetype slash = part.lastIndexOf(u'/');
    const QString folder = part.left(slash + 1);
    const QString relsName = folder + u"_rels/" + part.mid(slash + 1) + u".rels";
    QByteArray content;
    const Status status = package.readAll(relsName, content);
    if (status == Status::Missing)
        return Status::Ok;
    if (status != Status::Ok)
        return status;
    QXmlStreamReader reader(content);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != u"Relationship")
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.value("TargetMode"_L1) == u"External")
            continue;
        const QStringView target = attributes.value("Target"_L1);
        const QString resolved = target.startsWith(u'/')
                                     ? target.mid(1).toString()
                                     : QDir::cleanPath(folder + target.toString());
        relationships.append(Relationship{attributes.value("Id"_L1).toString(),
                                          attributes.value("Type"_L1).toString(), resolved});
    }
    return reader.hasError() ? Status::Damaged : Status::Ok;
}

QList<QString> targetsOfType(const QList<Relationship> &relationships, QStringView typeSuffix)
{
    QList<QString> targets;
    for (const Relationship &r : relationships) {
        if (r.type.endsWith(typeSuffix))
            targets.append(r.target);
    }
    std::sort(targets.begin(), targets.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return targets;
}

const Relationship *relationshipOfId(const QList<Relationship> &relationships, const QString &id)
{
    const auto r = std::find_if(relationships.cbegin(), relationships.cend(),
                                [&](const Relationship &x) { return x.id == id; });
    return r == relationships.cend() ? nullptr : &*r;
}

QString relationshipId(const QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name() == u"id" && a.namespaceUri().contains(u"relationships"))
            return a.value().toString();
    }
    return QString();
}

Status readPartList(const ZipPackage &package, const QString &mainPart, QStringView element,
                    const TextSink &sink, QList<Relationship> &relationships, QList<QString> &ids)
{
    const Status status = readRelationships(package, mainPart, relationships);
    if (status != Status::Ok)
        return status;
    ids.clear();
    IdListHandler handler(element, ids);
    return readXmlPart(package, mainPart, handler, sink);
}

} // namespace documents
