#include "platform/widgets/cursors.h"

#include <QBitmap>
#include <QCursor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <functional>

namespace platform {

namespace {

constexpr int cursorSize = 32;

// Paints the fill of a picture with `draw` (white brush, no pen, no antialiasing: a cursor has
// two colours; details may be drawn black), surrounds it with a one-pixel black outline and turns
// it into a cursor. Pixels outside the outline are transparent.
QCursor makeCursor(const std::function<void(QPainter &)> &draw, int hotX, int hotY)
{
    QImage picture(cursorSize, cursorSize, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        draw(painter);
    }
    const auto drawn = [&picture](int x, int y) {
        return x >= 0 && y >= 0 && x < cursorSize && y < cursorSize &&
               qAlpha(picture.pixel(x, y)) >= 128;
    };

    // Bit 1 of a monochrome image is Qt::color1: in the bitmap it means black, in the mask
    // it means the pixel is drawn at all.
    QImage bits(cursorSize, cursorSize, QImage::Format_MonoLSB);
    QImage mask(cursorSize, cursorSize, QImage::Format_MonoLSB);
    const QList<QRgb> colours{qRgb(255, 255, 255), qRgb(0, 0, 0)};
    bits.setColorTable(colours);
    mask.setColorTable(colours);
    bits.fill(0);
    mask.fill(0);
    for (int y = 0; y < cursorSize; ++y) {
        for (int x = 0; x < cursorSize; ++x) {
            if (drawn(x, y)) {
                mask.setPixel(x, y, 1);
                if (qGray(picture.pixel(x, y)) < 128)
                    bits.setPixel(x, y, 1);
                continue;
            }
            bool touchesFill = false;
            for (int dy = -1; dy <= 1 && !touchesFill; ++dy)
                for (int dx = -1; dx <= 1 && !touchesFill; ++dx)
                    touchesFill = drawn(x + dx, y + dy);
            if (touchesFill) {
                mask.setPixel(x, y, 1);
                bits.setPixel(x, y, 1);
            }
        }
    }
    return QCursor(QBitmap::fromImage(bits), QBitmap::fromImage(mask), hotX, hotY);
}

QPainterPath roundedBox(qreal x, qreal y, qreal w, qreal h, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(x, y, w, h, radius, radius);
    return path;
}

void drawHand(QPainter &painter)
{
    painter.drawPath(roundedBox(10, 6, 4, 14, 2));   // index finger, outlined tip at (11, 5)
    painter.drawPath(roundedBox(14, 12, 3, 9, 1.5)); // middle finger
    painter.drawPath(roundedBox(17, 13, 3, 8, 1.5)); // ring finger
    painter.drawPath(roundedBox(20, 14, 3, 7, 1.5)); // little finger
    painter.drawPath(roundedBox(10, 17, 13, 10, 3)); // palm
    painter.drawPolygon(QPolygon({{10, 19}, {6, 15}, {4, 16}, {5, 19}, {10, 26}})); // thumb
    // The gaps between the folded fingers.
    painter.setPen(QPen(Qt::black, 0));
    painter.drawLine(14, 13, 14, 18);
    painter.drawLine(17, 14, 17, 18);
    painter.drawLine(20, 15, 20, 18);
}

void drawMoveArrows(QPainter &painter)
{
    painter.drawRect(15, 6, 3, 21); // the shafts, crossing at (16, 16)
    painter.drawRect(6, 15, 21, 3);
    painter.drawPolygon(QPolygon({{16, 1}, {21, 6}, {11, 6}}));
    painter.drawPolygon(QPolygon({{16, 31}, {21, 26}, {11, 26}}));
    painter.drawPolygon(QPolygon({{1, 16}, {6, 21}, {6, 11}}));
    painter.drawPolygon(QPolygon({{31, 16}, {26, 21}, {26, 11}}));
}

void drawUnavailable(QPainter &painter)
{
    const QPointF centre(16.5, 16.5);
    QPainterPath outer;
    outer.addEllipse(centre, 10.9, 10.9);
    QPainterPath inner;
    inner.addEllipse(centre, 7.9, 7.9);
    QPainterPath slash;
    slash.addRect(-11, -1.75, 22, 3.5);
    const QPainterPath slashAcross =
        QTransform().translate(centre.x(), centre.y()).rotate(45).map(slash).intersected(inner);
    painter.drawPath(outer.subtracted(inner).united(slashAcross));
}

void drawArrowHourglass(QPainter &painter)
{
    painter.drawPolygon(
        QPolygon({{7, 7}, {7, 22}, {10, 19}, {13, 25}, {15, 24}, {12, 18}, {16, 18}}));
    // The hourglass: two glasses between a top and a bottom plate, sand in the lower glass.
    painter.drawRect(18, 17, 11, 2);
    painter.drawRect(18, 29, 11, 2);
    painter.drawPolygon(QPolygon({{19, 19}, {28, 19}, {24, 24}, {28, 29}, {19, 29}, {23, 24}}));
    painter.setBrush(Qt::black);
    painter.drawPolygon(QPolygon({{22, 26}, {25, 26}, {27, 29}, {20, 29}}));
}

} // namespace

QCursor handCursor()
{
    return makeCursor(drawHand, 11, 5);
}

QCursor moveCursor()
{
    return makeCursor(drawMoveArrows, 16, 16);
}

QCursor unavailableCursor()
{
    return makeCursor(drawUnavailable, 16, 16);
}

QCursor arrowHourglassCursor()
{
    return makeCursor(drawArrowHourglass, 6, 7);
}

} // namespace platform
