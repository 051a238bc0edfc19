#include "search/documents/picture/picture.h"

#include "search/documents/text_sink.h"
#include "search/ocr/ocr.h"

#include <QIODevice>

namespace documents {

namespace {

// Pictures are decoded whole; a file larger than this is no picture of a page.
constexpr qint64 kMaxPictureBytes = 256 << 20;

} // namespace

bool appendRecognisedText(const QImage &image, TextSink &sink)
{
    sink.beginRecognition();
    // The stop flag the sink polls is the one the engine polls inside the page; the engine's
    // count of the words read moves the sink's current part on. Each band's lines go out as soon
    // as they are read: the caller may have its answer in them, and stop the rest of the page.
    // The last band's go out once the recognition is over (TextSink::endRecognition).
    const ocr::Result result = ocr::recognise(
        image, sink.stopFlag(), [&sink](int percent) { sink.partProgress(percent); },
        [&sink](QStringView lines, bool last) {
            sink.append(lines);
            if (last)
                sink.endRecognition();
            else
                sink.flush();
        });
    if (result.status != ocr::Status::Done)
        sink.endRecognition();
    return result.status == ocr::Status::Done && !result.lines.isEmpty();
}

Outcome PictureExtractor::extract(const Source &source, TextSink &sink)
{
    const std::unique_ptr<QIODevice> device = source.open();
    if (!device || device->size() > kMaxPictureBytes)
        return Outcome::Damaged;
    // Every page of a TIFF and every frame of a GIF, each a part of the file's progress.
    bool any = false;
    const ocr::DecodeStatus status =
        ocr::decodePictures(*device, [&](const QImage &picture, int index, int count) {
            if (sink.stopRequested())
                return false;
            sink.beginPart(index, count);
            if (appendRecognisedText(picture, sink))
                any = true;
            return !sink.stopRequested();
        });
    if (sink.stopRequested())
        return Outcome::Stopped;
    // A picture larger than decoding may take in memory, in a format that cannot be scaled as it
    // is decoded, is not read: it claims a size no page has (a decompression bomb, a broken
    // header), and is named as damaged.
    if (status != ocr::DecodeStatus::Done)
        return Outcome::Damaged;
    return any ? Outcome::Done : Outcome::NoText;
}

} // namespace documents
