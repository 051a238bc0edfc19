#include "search/documents/format_support.h"
#include "search/documents/pdf/pdf.h"
#include "search/documents/signatures.h"

namespace documents {

namespace {

bool pdfSignature(QByteArrayView head)
{
    return startsWith(head, kPdfSignature, 5);
}

} // namespace

// A heavy page can hold a library call for long, and a scanned page is recognised: on a worker.
const Format kPdfFormat{Kind::Pdf, "1", pdfSignature, anyFile, openSource<PdfExtractor, kPdfFormat>,
                        true, nullptr};

} // namespace documents
