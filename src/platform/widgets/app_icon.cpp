#include "platform/widgets/app_icon.h"

#include "platform/widgets/fonts.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <limits>

namespace platform {

namespace {

// The outline of 搜 in the brush-style face, in font units of a 256-pixel face.
QPainterPath glyphOutline()
{
    registerFontSubstitutes();
    QFont font(calligraphicFamily());
    font.setPixelSize(256);
    QPainterPath path;
    path.addText(0, 0, font, QStringLiteral(u"搜"));
    return path;
}

// The x (in outline coordinates) that separates 扌 from 叟: the column with the least ink in
// the middle part of the glyph, where the gap between the two components lies.
qreal componentBoundary(const QPainterPath &outline)
{
    const QRectF bounds = outline.boundingRect();
    const int width = qCeil(bounds.width());
    QImage ink(width, qCeil(bounds.height()), QImage::Format_Alpha8);
    ink.fill(0);
    {
        QPainter painter(&ink);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(-bounds.topLeft());
        painter.fillPath(outline, Qt::black);
    }
    int best = width / 2;
    qint64 bestInk = std::numeric_limits<qint64>::max();
    for (int x = width / 4; x <= width * 11 / 20; ++x) {
        qint64 sum = 0;
        for (int y = 0; y < ink.height(); ++y)
            sum += ink.constScanLine(y)[x];
        if (sum < bestInk) {
            bestInk = sum;
            best = x;
        }
    }
    return bounds.left() + best + 0.5;
}

} // namespace

QImage paintAppIcon(int size)
{
    const QPainterPath outline = glyphOutline();
    const QRectF bounds = outline.boundingRect();
    const qreal margin = size / 24.0;
    const qreal scale =
        qMin((size - 2 * margin) / bounds.width(), (size - 2 * margin) / bounds.height());
    const QPointF offset = QPointF(size, size) / 2 - bounds.center() * scale;
    // The boundary on a whole pixel, so that no pixel mixes the two colours.
    const qreal boundary = qRound(offset.x() + componentBoundary(outline) * scale);

    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(offset);
        painter.scale(scale, scale);
        const QRectF left(QPointF(-1e4, -1e4), QPointF((boundary - offset.x()) / scale, 1e4));
        const QRectF right(QPointF((boundary - offset.x()) / scale, -1e4), QPointF(1e4, 1e4));
        painter.setClipRect(left);
        painter.fillPath(outline, QColor(255, 0, 0));
        painter.setClipRect(right);
        painter.fillPath(outline, Qt::black);
    }
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(paintAppIcon(size)));
    return icon;
}

} // namespace platform
