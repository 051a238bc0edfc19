#include "search/documents/ooxml/office_open_xml.h"

#include "search/cells/cell_formats.h"
#include "search/documents/ooxml/office_excel.h"
#include "search/documents/ooxml/office_powerpoint.h"
#include "search/documents/ooxml/office_relationships.h"
#include "search/documents/ooxml/office_word.h"
#include "search/documents/zip_package.h"

#include <QXmlStreamReader>

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

Family parseMainPart(const QByteArray &contentTypes, QString &mainPart)
{
    QXmlStreamReader reader(contentTypes);
    while (reader.readNextStartElement()) {
        if (reader.name() == u"Types")
            continue;
        if (reader.name() == u"Override") {
            const QXmlStreamAttributes attributes = reader.attributes();
            const Family family = familyOf(attributes.value("ContentType"_L1));
            if (family != Family::None) {
                mainPart = entryOf(attributes.value("PartName"_L1));
                return family;
            }
        }
        reader.skipCurrentElement();
    }
    return Family::None;
}

// The main part named by [Content_Types].xml, and its family. Recognition, the raw-byte screen and
// the extraction of one package each ask, one after the other on the same thread: the answer for
// the bytes asked last is kept.
Family findMainPart(const QByteArray &contentTypes, QString *mainPart)
{
    thread_local QByteArray lastTypes;
    thread_local QString lastPart;
    thread_local Family lastFamily = Family::None;
    if (lastTypes.isNull() || lastTypes != contentTypes) {
        lastFamily = parseMainPart(contentTypes, lastPart);
        lastTypes = contentTypes;
    }
    if (mainPart && lastFamily != Family::None)
        *mainPart = lastPart;
    return lastFamily;
}

} // namespace

bool declaresOfficeMainPart(const QByteArray &contentTypes)
{
    return findMainPart(contentTypes, nullptr) != Family::None;
}

bool officeTextParts(const ZipPackage &package, QSet<QString> &parts, QStringView &written)
{
    parts.clear();
    written = QStringView();
    QByteArray contentTypes;
    if (package.readAll(QStringLiteral("[Content_Types].xml"), contentTypes) != Status::Ok)
        return false;
    QString mainPart;
    const Family family = findMainPart(contentTypes, &mainPart);
    QList<QStringView> types;
    if (family == Family::Word)
        types = {u"/header", u"/footer", u"/footnotes", u"/endnotes", u"/comments"};
    else if (family == Family::Excel)
        types = {u"/sharedStrings", u"/worksheet", u"/styles"};
    else
        return false;
    QList<Relationship> relationships;
    if (readRelationships(package, mainPart, relationships) != Status::Ok)
        return false;
    // A workbook's main part lists its sheets; a Word document's is its body.
    if (family == Family::Word)
        parts.insert(mainPart.toLower());
    else
        written = cells::charactersFormatsWrite();
    for (const QStringView type : types) {
        for (const QString &part : targetsOfType(relationships, type))
            parts.insert(part.toLower());
    }
    return true;
}

Outcome OfficeOpenXmlExtractor::extractFrom(const ZipPackage &package, TextSink &sink)
{
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
