#include "search/documents/format_support.h"
#include "search/documents/rtf/rtf.h"

namespace documents {

const Format kRtfFormat{Kind::Rtf,
                        "1",
                        hasSignature<kRtfSignature, 5>,
                        anyFile,
                        openSource<RtfExtractor, kRtfFormat>,
                        false,
                        nullptr};

} // namespace documents
