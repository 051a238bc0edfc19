#pragma once

#include <QStringDecoder>

#include <memory>
#include <utility>
#include <vector>

namespace documents::rtf {

// The Windows code page of a font's \fcharset; 0 when the charset means the document's own code
// page (ANSI, default, symbol, OEM and charsets without a converter of their own).
int codePageOfCharset(int charset);

// Decoders for the code pages a document names, made when first asked for and kept for the
// document. A code page without a converter reads as Windows-1252, as a code page is unknown
// only in a damaged or hand-made file.
class Decoders
{
public:
    QStringDecoder &forCodePage(int codePage);

private:
    std::vector<std::pair<int, std::unique_ptr<QStringDecoder>>> m_decoders;
};

} // namespace documents::rtf
