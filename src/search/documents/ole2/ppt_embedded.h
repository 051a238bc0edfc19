#pragma once

#include <QByteArrayView>
#include <QString>

namespace documents {

class TextSink;

// The text of an OLE object embedded in a presentation: the data of an ExOleObjStg record, the
// object's compound file, zlib-compressed after a 32-bit size when `compressed`. A Word, Excel or
// PowerPoint object gives its text as that reader gives it; an Office Open XML object (its
// package in the storage's "Package" stream) too. Anything else, a damaged or encrypted object,
// and objects nested deeper than two levels give nothing. `budget` is the number of bytes the
// objects of one document may still inflate to; it shrinks by what this object takes.
void writeEmbeddedObject(QByteArrayView data, bool compressed, const QString &name, qint64 &budget,
                         TextSink &sink);

} // namespace documents
