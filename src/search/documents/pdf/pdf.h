#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

namespace documents {

// PDF files through poppler, page by page: every text line poppler finds on a page is a line, in
// poppler's reading order. A file that needs a user password to open is Encrypted; one poppler
// cannot open is Damaged. Only one page's text is in memory at a time.
//
// A page without text in a file that holds images (a scan, or the scanned pages of a mixed file)
// is rendered at the resolution of its largest image within a pixel budget (ScanRenderer) and read
// by text recognition, its lines in the page's place among the others; a page that renders blank
// is skipped. A file whose pages give no text even so is NoText.
class PdfExtractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) override;
};

// The registry's row of this family.
extern const Format kPdfFormat;

} // namespace documents
