// Feeds arbitrary bytes as a picture file through recognition by content, the image decoder and
// the picture reader. Whatever the bytes, there is no crash, hang or unbounded memory (the
// sanitizers watch those), and:
// - a picture is recognised exactly when its head has a picture's signature,
// - the reader ends Done, NoText or Damaged: never Encrypted, never Stopped when nobody stopped it,
// - bytes that do not decode are Damaged, and a picture that decodes is never Damaged.
// Recognition itself runs only on tiny images (at most 96 x 96 pixels), so that a run keeps its
// pace; larger ones are decoded only. With QUARLEX_OCR_MODELS set, the PaddleOCR engine reads them.
//
// The tiny image's grey levels, taken for a text detector's probability map, also go through the
// PaddleOCR engine's geometry (boxes from the map, reading order, lines cut out): every box lies in
// the picture, none is lost or doubled by the ordering, and every line cut out is level and whole.

#include "search/documents/document_text.h"
#include "search/ocr/ocr.h"
#include "search/ocr/paddle_detection.h"
#include "search/ocr/paddle_lines.h"

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

void checkGeometry(const QImage &image)
{
    using namespace ocr::paddle;
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    cv::Mat map(gray.height(), gray.width(), CV_32F);
    for (int y = 0; y < gray.height(); ++y) {
        for (int x = 0; x < gray.width(); ++x)
            map.at<float>(y, x) = gray.constScanLine(y)[x] / 255.0f;
    }
    // The picture three times the map's size each way, as a detector's input is smaller.
    const cv::Size picture(gray.width() * 3, gray.height() * 3);
    std::vector<TextBox> boxes = textBoxes(map, picture);
    for (const TextBox &box : boxes) {
        for (const cv::Point2f &corner : box.corners) {
            if (corner.x < 0 || corner.y < 0 || corner.x > picture.width - 1 ||
                corner.y > picture.height - 1)
                std::abort();
        }
        if (!(box.score >= 0.6f && box.score <= 1.0f))
            std::abort();
    }
    std::vector<TextBox> sorted = boxes;
    sortForReading(sorted);
    const auto key = [](const TextBox &b) { return std::pair(b.corners[0].x, b.corners[0].y); };
    std::vector<std::pair<float, float>> before, after;
    for (size_t i = 0; i < boxes.size(); ++i) {
        before.push_back(key(boxes[i]));
        after.push_back(key(sorted[i]));
    }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    if (before != after)
        std::abort();
    const cv::Mat page(picture, CV_8UC1, cv::Scalar(128));
    for (const TextBox &box : sorted) {
        const cv::Mat line = lineImage(page, box);
        if (line.empty() || (box.upright() && line.rows > line.cols))
            std::abort();
        const cv::Mat blob = recognitionBlob(line, recognitionWidth(line));
        if (blob.size[3] < 320 || blob.size[3] > kMaxLineWidth)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const documents::Source source =
        documents::Source::fromBytes(bytes, QStringLiteral("input.png"));
    const QByteArrayView head = QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 64));
    const documents::Kind kind = documents::recognise(source, head);
    if ((kind == documents::Kind::Picture) != ocr::isPicture(head))
        std::abort();
    if (kind != documents::Kind::Picture)
        return 0;
    const QImage image = ocr::decode(bytes);
    if (image.isNull() || qint64(image.width()) * image.height() > 96 * 96)
        return 0;
    checkGeometry(image);
    QString text;
    const documents::Outcome outcome = documents::extractText(source, kind, [&](QStringView piece) {
        text += piece;
        return true;
    });
    if (outcome != documents::Outcome::Done && outcome != documents::Outcome::NoText)
        std::abort();
    if ((outcome == documents::Outcome::Done) == text.isEmpty())
        std::abort();
    return 0;
}
