#include "search/ocr/picture_decoding.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ocr {

namespace {

qint64 area(QSize size)
{
    return qint64(size.width()) * size.height();
}

// Bits a pixel takes decoded in `format`; a reader that does not say is taken at 32.
int depthOf(QImage::Format format)
{
    return format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
}

// A progressive JPEG makes libjpeg hold the coefficients of the whole picture, two bytes a
// sample, however small it is decoded: their size, from the frame header; 0 for a baseline JPEG
// (decoded row by row) or when the header is not within the first 64 KiB.
qint64 progressiveJpegBytes(QIODevice &device)
{
    const QByteArray head = device.peek(64 * 1024);
    const auto byte = [&](qsizetype at) { return uchar(head.at(at)); };
    qsizetype at = 2;
    while (at + 9 < head.size() && byte(at) == 0xFF) {
        const uchar marker = byte(at + 1);
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            const bool progressive =
                marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            const qint64 height = byte(at + 5) << 8 | byte(at + 6);
            const qint64 width = byte(at + 7) << 8 | byte(at + 8);
            return progressive ? width * height * byte(at + 9) * 2 : 0;
        }
        at += 2 + (byte(at + 2) << 8 | byte(at + 3));
    }
    return 0;
}

// Reads the reader's current picture within the budgets into `picture`.
DecodeStatus readOne(QImageReader &reader, QIODevice &device, QImage &picture)
{
    const QSize size = reader.size();
    const bool jpeg = reader.format() == "jpeg" || reader.format() == "jpg";
    int decoderReduction = 1;
    if (size.isValid() && jpeg) {
        // libjpeg scales by 1/2, 1/4 and 1/8 as it decodes; what is left over is reduced below.
        while (decoderReduction < reductionFor(size) && decoderReduction < 8)
            decoderReduction *= 2;
        const QSize decoded((size.width() + decoderReduction - 1) / decoderReduction,
                            (size.height() + decoderReduction - 1) / decoderReduction);
        if (area(decoded) * 4 > kMaxDecodedBytes || progressiveJpegBytes(device) > kMaxDecodedBytes)
            return DecodeStatus::TooLarge;
        if (decoderReduction > 1)
            reader.setScaledSize(decoded);
    } else if (size.isValid() &&
               area(size) * depthOf(reader.imageFormat()) / 8 > kMaxDecodedBytes) {
        return DecodeStatus::TooLarge;
    }
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return DecodeStatus::Damaged;
    if (decoderReduction > 1) {
        // The decoder keeps the resolution the file states for its full size.
        image.setDotsPerMeterX(image.dotsPerMeterX() / decoderReduction);
        image.setDotsPerMeterY(image.dotsPerMeterY() / decoderReduction);
    }
    picture = reducedGray(image, reductionFor(image.size()));
    return DecodeStatus::Done;
}

} // namespace

int reductionFor(QSize size)
{
    int factor = 1;
    const auto reduced = [&](int f) {
        return qint64((size.width() + f - 1) / f) * ((size.height() + f - 1) / f);
    };
    while (reduced(factor) > kMaxPagePixels)
        ++factor;
    return factor;
}

QImage reducedGray(const QImage &image, int factor)
{
    QImage gray;
    if (image.hasAlphaChannel()) {
        // Transparent pixels of a picture are seen on white, as a viewer shows them.
        gray = QImage(image.size(), QImage::Format_Grayscale8);
        gray.setDotsPerMeterX(image.dotsPerMeterX());
        gray.setDotsPerMeterY(image.dotsPerMeterY());
        gray.fill(Qt::white);
        QPainter painter(&gray);
        painter.drawImage(0, 0, image);
    } else {
        gray = image.convertToFormat(QImage::Format_Grayscale8);
    }
    if (factor <= 1)
        return gray;
    const int width = (gray.width() + factor - 1) / factor;
    const int height = (gray.height() + factor - 1) / factor;
    QImage reduced(width, height, QImage::Format_Grayscale8);
    std::vector<quint32> sums(size_t(width), 0);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        const int top = y * factor, rows = std::min(factor, gray.height() - top);
        for (int r = 0; r < rows; ++r) {
            const uchar *line = gray.constScanLine(top + r);
            for (int x = 0; x < gray.width(); ++x)
                sums[size_t(x / factor)] += line[x];
        }
        uchar *out = reduced.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int columns = std::min(factor, gray.width() - x * factor);
            out[x] = uchar(sums[size_t(x)] / quint32(rows * columns));
        }
    }
    reduced.setDotsPerMeterX(gray.dotsPerMeterX() / factor);
    reduced.setDotsPerMeterY(gray.dotsPerMeterY() / factor);
    return reduced;
}

DecodeStatus decodePictures(QIODevice &device, const PictureOut &out)
{
    QImageReader reader(&device);
    // A photo of a page keeps its orientation as its camera wrote it.
    reader.setAutoTransform(true);
    const int count = std::max(1, reader.imageCount());
    // An animation (GIF) gives its next frame at each read; the pages of a TIFF are jumped to.
    const bool advancesByReading = reader.supportsAnimation();
    for (int index = 0; index < count; ++index) {
        if (index > 0 && !(advancesByReading ? reader.canRead() : reader.jumpToNextImage()))
            break;
        QImage picture;
        const DecodeStatus status = readOne(reader, device, picture);
        if (status != DecodeStatus::Done)
            return index == 0 ? status : DecodeStatus::Done;
        if (!out(picture, index, count))
            break;
    }
    return DecodeStatus::Done;
}

QImage decode(QByteArrayView bytes)
{
    QByteArray data = bytes.toByteArray();
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImage first;
    decodePictures(buffer, [&first](const QImage &picture, int, int) {
        first = picture;
        return false;
    });
    return first;
}

} // namespace ocr
