#pragma once

#include "search/documents/extractor.h"

namespace documents {

// PDF files through poppler, page by page: every text line poppler finds on a page is a line, in
// poppler's reading order. A file that needs a user password to open is Encrypted; one poppler
// cannot open is Damaged. Only one page's text is in memory at a time.
class PdfExtractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) override;
};

} // namespace documents
