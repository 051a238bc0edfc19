#pragma once

#include "platform/core/little_endian.h"

#include <QByteArrayView>

// Byte checks only, apart from the engine, so that a file is told a picture without loading it.
namespace ocr {

// True when `head`, a file's first bytes, starts a picture file: PNG, JPEG, GIF, TIFF, WebP or a
// BMP with a header Windows writes.
inline bool isPicture(QByteArrayView head)
{
    const auto starts = [&](const char *signature, qsizetype size) {
        return head.size() >= size && head.first(size) == QByteArrayView(signature, size);
    };
    if (starts("\x89PNG\r\n\x1A\n", 8) || starts("\xFF\xD8\xFF", 3) || starts("GIF87a", 6) ||
        starts("GIF89a", 6) || starts("II*\0", 4) || starts("MM\0*", 4))
        return true;
    if (starts("RIFF", 4) && head.size() >= 12 && head.sliced(8, 4) == QByteArrayView("WEBP"))
        return true;
    // BMP: "BM", then the file size, two reserved zero words, the pixel offset and a DIB header
    // of one of the sizes Windows writes. "BM" alone starts too many text files.
    if (starts("BM", 2) && head.size() >= 18) {
        const quint32 dib = platform::le32(head, 14);
        return platform::le32(head, 6) == 0 && (dib == 12 || dib == 40 || dib == 52 || dib == 56 ||
                                                dib == 64 || dib == 108 || dib == 124);
    }
    return false;
}

} // namespace ocr
