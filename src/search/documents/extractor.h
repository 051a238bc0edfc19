#pragma once

#include "search/documents/document_text.h"

namespace documents {

class TextSink;

// One format family's text extraction. Extractors do not throw; they report what they could not
// read as an Outcome and hand their text to `sink` as they read it.
class Extractor
{
public:
    virtual ~Extractor() = default;
    virtual Outcome extract(const Source &source, TextSink &sink) = 0;
};

} // namespace documents
