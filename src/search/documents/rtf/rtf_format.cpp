#include "search/documents/format_support.h"
#include "search/documents/rtf/rtf.h"
#include "search/documents/signatures.h"

namespace documents {

namespace {

bool rtfSignature(QByteArrayView head)
{
    return startsWith(head, kRtfSignature, 5);
}

} // namespace

const Format kRtfFormat{Kind::Rtf, "1", rtfSignature, anyFile, openSource<RtfExtractor, kRtfFormat>,
                        false, nullptr};

} // namespace documents
