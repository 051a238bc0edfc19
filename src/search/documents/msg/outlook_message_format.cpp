#include "search/documents/format_support.h"
#include "search/documents/msg/outlook_message.h"
#include "search/documents/ole2/compound_file.h"

namespace documents {

namespace {

bool recogniseOutlookMessage(Probe &probe)
{
    const CompoundFile *file = probe.compoundFile();
    return file && isOutlookMessage(*file);
}

std::unique_ptr<Document> openOutlookMessage(Probe &probe)
{
    return std::make_unique<OutlookMessageDocument>(kOutlookMessageFormat, probe.source(),
                                                    probe.takeCompoundFile());
}

} // namespace

const Format kOutlookMessageFormat{Kind::OutlookMessage,
                                   "1",
                                   hasCompoundFileSignature,
                                   recogniseOutlookMessage,
                                   openOutlookMessage,
                                   false,
                                   nullptr};

} // namespace documents
