#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

#include <QImage>

namespace documents {

// Picture files (PNG, JPEG, BMP, GIF, TIFF, WebP, recognised by content): the text lines text
// recognition finds in the picture, one line each. A picture that cannot be decoded is Damaged;
// one in which nothing is recognised is NoText.
class PictureExtractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) override;
};

// Hands the text lines recognised in `image` to `sink`, each ended by "\n". False when the
// recognition gave nothing (a blank image, no engine) or was stopped (then sink.stopRequested()).
bool appendRecognisedText(const QImage &image, TextSink &sink);

// The registry's row of this family.
extern const Format kPictureFormat;

} // namespace documents
