#pragma once

#include "search/documents/zip_package.h"

#include <QList>
#include <QString>
#include <QStringView>

class QXmlStreamReader;

namespace documents {

// One relationship of an Office Open XML part: how the part points to another one.
struct Relationship
{
    QString id;
    QString type;
    QString target; // entry name inside the package
};

// The relationships of `part` (its _rels/NAME.rels entry), targets resolved against the part's
// folder. A part without relationships has none; external targets are left out.
ZipPackage::Status readRelationships(const ZipPackage &package, const QString &part,
                                     QList<Relationship> &relationships);

// The targets of the relationships whose type ends with `typeSuffix`, in the order of their names
// (header1, header2, header10: by length first, then by name).
QList<QString> targetsOfType(const QList<Relationship> &relationships, QStringView typeSuffix);

// The relationship with the id `id`, or null.
const Relationship *relationshipOfId(const QList<Relationship> &relationships, const QString &id);

// The value of the relationship id attribute (r:id) of the current element.
QString relationshipId(const QXmlStreamReader &reader);

// Reads the relationships of the main part `mainPart` and the r:id of every `element` child of it
// (sheet, sldId) in document order: the workbook's sheets, the presentation's slides.
ZipPackage::Status readPartList(const ZipPackage &package, const QString &mainPart,
                                QStringView element, const TextSink &sink,
                                QList<Relationship> &relationships, QList<QString> &ids);

} // namespace documents
