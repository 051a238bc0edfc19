#pragma once

#include <QRect>
#include <QSize>

namespace platform {

// Window and control geometry is designed in twips, 1/1440 inch: at 96 dots per inch a pixel is
// 15 twips. Qt scales the device-independent pixels on high-density screens.
constexpr int twipsToPixels(int twips)
{
    return twips / 15;
}

constexpr QSize twipsSize(int width, int height)
{
    return QSize(twipsToPixels(width), twipsToPixels(height));
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(QPoint(twipsToPixels(left), twipsToPixels(top)), twipsSize(width, height));
}

} // namespace platform
