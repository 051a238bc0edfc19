#include "search/documents/document_text.h"
#include "search/documents/signatures.h"
#include "search/ocr/ocr.h"

namespace documents {

bool mayBeDocument(QByteArrayView head)
{
    return startsWith(head, kPdfSignature, 5) || startsWith(head, kZipSignature, 4) ||
           startsWith(head, kOle2Signature, 8) || startsWith(head, kRtfSignature, 5) ||
           ocr::isPicture(head);
}

} // namespace documents
