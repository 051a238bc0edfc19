// Paints the program's icon and writes it as PNG files in the layout of the hicolor icon theme:
//   quarlex-write-icons <folder> <size>...  ->  <folder>/<size>x<size>/apps/quarlex.png
// The pictures depend on the fonts installed where this runs, so the build does not run it: a
// developer does (scripts/make_icons.sh) and commits the files, which the build and the package
// then take as they are.

#include "platform/widgets/fonts.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <limits>

namespace {

// The outline of 搜 in the brush-style face, in font units of a 256-pixel face.
QPainterPath glyphOutline()
{
    platform::registerFontSubstitutes();
    QFont font(platform::calligraphicFamily());
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

// The icon at `size` x `size` pixels: 搜 with 扌 red and 叟 black, on white. The design size is
// 48; every size is drawn from the same outline. Reduced to at most 256 colours, like the
// original icon.
QImage paintIcon(int size)
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

} // namespace

int main(int argc, char *argv[])
{
    // No display is needed to paint into images.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 3) {
        err << "usage: quarlex-write-icons <folder> <size>...\n";
        return 2;
    }
    for (qsizetype i = 2; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size < 1) {
            err << "not a size: " << args.at(i) << '\n';
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args.at(1)).arg(size);
        const QString file = folder + QStringLiteral("/quarlex.png");
        if (!QDir().mkpath(folder) || !paintIcon(size).save(file, "PNG")) {
            err << "cannot write " << file << '\n';
            return 1;
        }
    }
    return 0;
}
