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

Screen screenMessage(const Document &document, const std::vector<QByteArray> &utf8Characters,
                     platform::WorkMonitor &monitor)
{
    return static_cast<const MessageDocument &>(document).screen(utf8Characters, monitor);
}

} // namespace

const Format kMessageFormat{Kind::Message, "1",   looksLikeMessageHead, anyFile,
                            openMessage,   false, screenMessage};

} // namespace documents
