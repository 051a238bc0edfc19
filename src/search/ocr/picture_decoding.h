#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>

#include <functional>

class QIODevice;

// Pictures decoded for text recognition within a bounded memory, whatever size they claim.
namespace ocr {

// The most pixels of a page or picture that recognition reads: an A4 page at 400 dpi, a Letter
// page at 420. A larger one is read scaled down to this, so that one worker never holds more
// than some 12 MiB of page (8-bit grey) and the engine's work on it stays bounded.
constexpr qint64 kMaxPagePixels = 12'000'000;

// The most memory a picture may take decoded at its full size in its own format, for the
// formats whose decoder cannot scale while it decodes (PNG, TIFF, BMP, GIF, WebP): it is decoded
// whole, then scaled. A 600 dpi A4 scan is 35 MiB in grey, 4 MiB in black and white. JPEG is
// decoded at 1/2, 1/4 or 1/8 of its size by the decoder itself, whatever its size.
constexpr qint64 kMaxDecodedBytes = 96 << 20;

// The smallest whole divisor (1, 2, 3 ...) of `size` that brings it within kMaxPagePixels.
int reductionFor(QSize size);

// `image` in 8-bit grey, each `factor` x `factor` block of pixels averaged into one, its
// resolution divided likewise. Transparent pixels are seen on white.
QImage reducedGray(const QImage &image, int factor);

enum class DecodeStatus {
    Done,     // every picture of the file went to the callback (or it asked to stop)
    Damaged,  // the file's first picture cannot be decoded (nor its size read)
    TooLarge, // its first picture is larger than the decoding budget allows, in a format that
              // cannot be scaled while decoding
};

// Told each picture of the file in turn (8-bit grey, within kMaxPagePixels): its index and the
// count of pictures the file says it has (at least 1). Returns false to stop.
using PictureOut = std::function<bool(const QImage &picture, int index, int count)>;

// Decodes every picture of `device` through Qt's image readers: the pages of a multi-page TIFF,
// the frames of an animated GIF, the one picture of other files. A picture past the first that
// cannot be decoded ends the file there.
DecodeStatus decodePictures(QIODevice &device, const PictureOut &out);

// The first picture of `bytes`, as decodePictures gives it; a null image when there is none.
QImage decode(QByteArrayView bytes);

} // namespace ocr
