#pragma once

#include "search/documents/document_text.h"

#include <QString>

namespace documents {

class TextSink;
class ZipPackage;

// The text of a presentation whose main part is `mainPart`: the slides in presentation order,
// then the notes of every slide in the same order (see office_open_xml.h).
Outcome readPresentation(const ZipPackage &package, const QString &mainPart, TextSink &sink);

} // namespace documents
