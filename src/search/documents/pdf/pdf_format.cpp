#include "search/documents/format_support.h"
#include "search/documents/pdf/pdf.h"

namespace documents {

// A heavy page can hold a library call for long, and a scanned page is recognised: on a worker.
const Format kPdfFormat{Kind::Pdf,
                        "2",
                        hasSignature<kPdfSignature, 5>,
                        anyFile,
                        openSource<PdfExtractor, kPdfFormat>,
                        true,
                        nullptr};

} // namespace documents
