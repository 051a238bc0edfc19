#include "search/documents/format_support.h"
#include "search/documents/mime/message.h"

namespace documents {

namespace {

bool looksLikeMessageHead(QByteArrayView head)
{
    return looksLikeMessage(head);
}

std::unique_ptr<Document> openMessage(Probe &probe)
{
    return std::make_unique<MessageDocument>(kMessageFormat, probe.source());
}

} // namespace

const Format kMessageFormat{Kind::Message, "1",    looksLikeMessageHead, anyFile, openMessage,
                            false,         nullptr};

} // namespace documents
