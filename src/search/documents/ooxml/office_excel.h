#pragma once

#include "search/documents/document_text.h"

#include <QString>

namespace documents {

class TextSink;
class ZipPackage;

// The cells of a workbook whose main part is `mainPart`: the worksheets in workbook order, a row a
// line, numbers as their cells' number formats show them, other cell values as stored (see
// office_open_xml.h and document_text.h).
Outcome readWorkbook(const ZipPackage &package, const QString &mainPart, TextSink &sink);

} // namespace documents
