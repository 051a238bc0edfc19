#include "platform/widgets/app_icon.h"

#include <QIcon>
#include <QImage>
#include <QTest>

namespace {

// Ink pixels, also the anti-aliased edges of small sizes: red-tinted ones, and grey to black
// ones without a tint.
bool isRed(QRgb c)
{
    return qRed(c) - qGreen(c) > 60 && qAbs(qGreen(c) - qBlue(c)) < 30;
}

bool isDark(QRgb c)
{
    const int high = qMax(qRed(c), qMax(qGreen(c), qBlue(c)));
    const int low = qMin(qRed(c), qMin(qGreen(c), qBlue(c)));
    return high - low < 30 && qGray(c) < 200;
}

} // namespace

class TestAppIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void picture_data();
    void picture();
    void applicationIconHasTheDesignSizeAndALargeOne();
};

void TestAppIcon::picture_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("The design size, 48 pixels") << 48;
    QTest::newRow("The large size for desktops, 256 pixels") << 256;
    QTest::newRow("The smallest size, 16 pixels") << 16;
}

void TestAppIcon::picture()
{
    QFETCH(int, size);
    const QImage icon = platform::paintAppIcon(size);
    QCOMPARE(icon.size(), QSize(size, size));
    QVERIFY(icon.colorCount() > 0 && icon.colorCount() <= 256);

    // White ground: the corners are white.
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
        QCOMPARE(icon.pixel(corner), qRgb(255, 255, 255));

    // 扌 red on the left, 叟 black on the right, meeting without overlap.
    int red = 0;
    int dark = 0;
    int redRight = -1;
    int darkLeft = size;
    QRect ink;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb c = icon.pixel(x, y);
            if (c != qRgb(255, 255, 255))
                ink = ink.united(QRect(x, y, 1, 1));
            if (isRed(c)) {
                ++red;
                redRight = qMax(redRight, x);
            } else if (isDark(c)) {
                ++dark;
                darkLeft = qMin(darkLeft, x);
            }
        }
    }
    QVERIFY(red > 0);
    QVERIFY(dark > red); // 叟 has more strokes than 扌
    QVERIFY2(
        redRight < darkLeft,
        qPrintable(QStringLiteral("red up to x=%1, black from x=%2").arg(redRight).arg(darkLeft)));
    // 扌 is the narrower, left component; the two meet in the left half.
    QVERIFY(darkLeft < size / 2 + size / 8);
    QVERIFY(darkLeft > size / 5);
    // The character fills the picture.
    QVERIFY2(ink.width() >= size * 3 / 4 || ink.height() >= size * 3 / 4,
             qPrintable(QStringLiteral("ink %1 x %2").arg(ink.width()).arg(ink.height())));
}

void TestAppIcon::applicationIconHasTheDesignSizeAndALargeOne()
{
    const QIcon icon = platform::applicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY(sizes.contains(QSize(48, 48)));
    QVERIFY(sizes.contains(QSize(256, 256)));
    QCOMPARE(icon.pixmap(QSize(48, 48)).toImage().convertToFormat(QImage::Format_RGB32),
             platform::paintAppIcon(48).convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(TestAppIcon)
#include "tst_widgets_app_icon.moc"
