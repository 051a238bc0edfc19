#include "platform/widgets/cursors.h"

#include <QBitmap>
#include <QCursor>
#include <QImage>
#include <QTest>

#include <functional>

namespace {

// A cursor's two bit planes, read back from the QCursor the program hands to its widgets.
struct Planes
{
    QImage bits; // 1: black
    QImage mask; // 1: drawn at all

    bool drawn(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < mask.width() && y < mask.height() &&
               mask.pixelIndex(x, y) == 1;
    }
    bool black(int x, int y) const { return drawn(x, y) && bits.pixelIndex(x, y) == 1; }
    bool white(int x, int y) const { return drawn(x, y) && bits.pixelIndex(x, y) == 0; }
};

Planes planesOf(const QCursor &cursor)
{
    const auto mono = [](const QBitmap &bitmap) {
        QImage image = bitmap.toImage().convertToFormat(QImage::Format_MonoLSB);
        // Index 1 must mean Qt::color1 (black) whatever colour table the conversion chose.
        if (image.color(1) != qRgb(0, 0, 0)) {
            image.invertPixels();
            image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        }
        return image;
    };
    return {mono(cursor.bitmap()), mono(cursor.mask())};
}

} // namespace

using CursorFactory = std::function<QCursor()>;
Q_DECLARE_METATYPE(CursorFactory)

class TestCursors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pictures_data();
    void pictures();
};

void TestCursors::pictures_data()
{
    QTest::addColumn<CursorFactory>("factory");
    QTest::addColumn<QPoint>("hotSpot");
    QTest::addColumn<bool>("centred");

    QTest::newRow("The hand points with its fingertip at (11, 5)")
        << CursorFactory(&platform::handCursor) << QPoint(11, 5) << false;
    QTest::newRow("The move arrows are centred on (16, 16)")
        << CursorFactory(&platform::moveCursor) << QPoint(16, 16) << true;
    QTest::newRow("The unavailable sign is centred on (16, 16)")
        << CursorFactory(&platform::unavailableCursor) << QPoint(16, 16) << true;
    QTest::newRow("The arrow with the hourglass points with its tip at (6, 7)")
        << CursorFactory(&platform::arrowHourglassCursor) << QPoint(6, 7) << false;
}

void TestCursors::pictures()
{
    QFETCH(CursorFactory, factory);
    QFETCH(QPoint, hotSpot);
    QFETCH(bool, centred);

    const QCursor cursor = factory();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), hotSpot);
    const Planes planes = planesOf(cursor);
    QCOMPARE(planes.bits.size(), QSize(32, 32));
    QCOMPARE(planes.mask.size(), QSize(32, 32));

    // The hot spot is on the picture, where the user sees the pointer's tip or centre.
    QVERIFY(planes.drawn(hotSpot.x(), hotSpot.y()));

    // A black outline encloses the fill: no fill pixel touches a transparent one or the edge.
    int fill = 0;
    int outline = 0;
    QRect box;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (!planes.drawn(x, y))
                continue;
            box = box.united(QRect(x, y, 1, 1));
            if (planes.black(x, y)) {
                ++outline;
                continue;
            }
            ++fill;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    QVERIFY2(
                        planes.drawn(x + dx, y + dy),
                        qPrintable(
                            QStringLiteral("fill pixel (%1, %2) is not outlined").arg(x).arg(y)));
        }
    }
    QVERIFY(fill > 30);
    QVERIFY(outline > 30);

    if (centred) {
        // Drawn symmetrically around the hot spot, give or take a pixel of rasterisation.
        const QPointF middle = QRectF(box).center();
        QVERIFY2(
            qAbs(middle.x() - (hotSpot.x() + 0.5)) <= 1.0 &&
                qAbs(middle.y() - (hotSpot.y() + 0.5)) <= 1.0,
            qPrintable(
                QStringLiteral("picture centred on (%1, %2)").arg(middle.x()).arg(middle.y())));
    }
}

QTEST_MAIN(TestCursors)
#include "tst_widgets_cursors.moc"
