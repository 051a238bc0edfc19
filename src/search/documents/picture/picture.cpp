#include "search/documents/picture/picture.h"

#include "search/documents/text_sink.h"
#include "search/ocr/ocr.h"

#include <QImageReader>

namespace documents {

namespace {

// Pictures are decoded whole; a file larger than this is no picture of a page.
constexpr qint64 kMaxPictureBytes = 256 << 20;

} // namespace

bool appendRecognisedText(const QImage &image, TextSink &sink)
{
    // The stop flag the sink polls is the one the engine polls inside the page; the engine's
    // count of the words read moves the sink's current part on.
    const ocr::Result result = ocr::recognise(image, sink.stopFlag(),
                                              [&sink](int percent) { sink.partProgress(percent); });
    if (result.status != ocr::Status::Done)
        return false;
    for (const QString &line : result.lines) {
        sink.append(line);
        sink.append(u'\n');
    }
    return !result.lines.isEmpty();
}

Outcome PictureExtractor::extract(const Source &source, TextSink &sink)
{
    const std::unique_ptr<QIODevice> device = source.open();
    if (!device || device->size() > kMaxPictureBytes)
        return Outcome::Damaged;
    QImageReader reader(device.get());
    // A photo of a page keeps its orientation as its camera wrote it.
    reader.setAutoTransform(true);
    QImage image;
    if (!reader.read(&image))
        return Outcome::Damaged;
    if (sink.stopRequested())
        return Outcome::Stopped;
    const bool any = appendRecognisedText(image, sink);
    if (sink.stopRequested())
        return Outcome::Stopped;
    return any ? Outcome::Done : Outcome::NoText;
}

} // namespace documents
