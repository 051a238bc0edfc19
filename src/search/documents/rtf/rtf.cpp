#include "search/documents/rtf/rtf.h"

#include "search/documents/rtf/rtf_reader.h"

#include <QIODevice>

namespace documents {

Outcome RtfExtractor::extract(const Source &source, TextSink &sink)
{
    const std::unique_ptr<QIODevice> device = source.open();
    if (!device)
        return Outcome::Damaged;
    return rtf::Reader(*device, sink).read();
}

} // namespace documents
