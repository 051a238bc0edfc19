#pragma once

#include "search/documents/document_text.h"

#include <QString>

namespace documents {

class TextSink;
class ZipPackage;

// The text of a Word document whose main part is `mainPart`: that part, then its headers,
// footers, footnotes, endnotes and comments (see office_open_xml.h for the order).
Outcome readWordDocument(const ZipPackage &package, const QString &mainPart, TextSink &sink);

} // namespace documents
