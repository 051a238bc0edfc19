#pragma once

#include "search/documents/zip_package.h"

namespace documents {

// The longest run of bytes without a "<" that an OFD part may hold. The XML reader keeps a text
// node or a tag whole until the "<" after it; a TextCode is a line of text, and a run longer than
// this is no real part but a way to fill memory.
constexpr qsizetype kMaxOfdMarkupRun = qsizetype(16) << 20;

// readXmlPart for OFD parts: the same tokens, but a part with a run of more than
// kMaxOfdMarkupRun bytes without a "<" stops there, Damaged.
ZipPackage::Status readOfdPart(const ZipPackage &package, const QString &name,
                               XmlPartHandler &handler, const TextSink &sink);

} // namespace documents
