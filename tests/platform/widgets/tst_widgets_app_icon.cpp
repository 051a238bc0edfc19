#include "platform/widgets/app_icon.h"

#include <QDirIterator>
#include <QIcon>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

// The committed icon files, built into the platform library as a resource, by size.
QMap<int, QString> iconFiles()
{
    static const QRegularExpression folderName(QStringLiteral("/(\\d+)x\\1/apps/quarlex\\.png$"));
    QMap<int, QString> files;
    QDirIterator it(QStringLiteral(":/icons/hicolor"), {QStringLiteral("quarlex.png")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QRegularExpressionMatch match = folderName.match(path);
        if (match.hasMatch())
            files.insert(match.captured(1).toInt(), path);
        else
            qWarning("an icon file outside a <size>x<size>/apps folder: %s", qPrintable(path));
    }
    return files;
}

bool isWhite(QRgb c)
{
    return c == qRgb(255, 255, 255);
}

// Ink pixels, also the anti-aliased edges of small sizes: red-tinted ones (green and blue alike,
// red above both), and grey to black ones without a tint.
bool isRed(QRgb c)
{
    return qRed(c) - qMax(qGreen(c), qBlue(c)) > 60 && qAbs(qGreen(c) - qBlue(c)) < 30;
}

bool isRedTinted(QRgb c)
{
    return qRed(c) - qMax(qGreen(c), qBlue(c)) >= 20 && qAbs(qGreen(c) - qBlue(c)) < 30;
}

bool isNeutral(QRgb c)
{
    const int high = qMax(qRed(c), qMax(qGreen(c), qBlue(c)));
    const int low = qMin(qRed(c), qMin(qGreen(c), qBlue(c)));
    return high - low < 30;
}

bool isDark(QRgb c)
{
    return isNeutral(c) && qGray(c) < 200;
}

QString colourName(QRgb c)
{
    return QStringLiteral("#%1").arg(c & 0xffffff, 6, 16, QLatin1Char('0'));
}

} // namespace

class TestAppIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sizes();
    void picture_data();
    void picture();
    void applicationIconHasTheDesignSizeAndALargeOne();
};

void TestAppIcon::sizes()
{
    const QMap<int, QString> files = iconFiles();
    // The design size, the large one desktops show, and the smallest a panel asks for.
    for (const int size : {16, 48, 256})
        QVERIFY2(files.contains(size), qPrintable(QStringLiteral("no %1 x %1 icon").arg(size)));
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QImage image(it.value());
        QVERIFY2(!image.isNull(), qPrintable(it.value()));
        QCOMPARE(image.size(), QSize(it.key(), it.key()));
    }
}

void TestAppIcon::picture_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("file");
    const QMap<int, QString> files = iconFiles();
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QTest::addRow("The %d x %d picture", it.key(), it.key()) << it.key() << it.value();
}

void TestAppIcon::picture()
{
    QFETCH(int, size);
    QFETCH(QString, file);
    const QImage icon(file);
    QCOMPARE(icon.size(), QSize(size, size));

    // White ground: the corners are white, and so is most of the picture.
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
        QCOMPARE(icon.pixel(corner), qRgb(255, 255, 255));

    // 扌 red on the left, 叟 black on the right, meeting without overlap; nothing but white,
    // red tints and greys.
    const int leftEnd = size / 5;               // columns before it hold only 扌
    const int rightStart = size / 2 + size / 8; // columns from it hold only 叟
    int white = 0;
    int red = 0;
    int dark = 0;
    int redLeft = 0;
    int darkRight = 0;
    int redRight = -1;
    int darkLeft = size;
    QRect ink;
    QSet<QRgb> colours;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb c = icon.pixel(x, y);
            colours.insert(c);
            const QString where = QStringLiteral("%1 at (%2, %3)").arg(colourName(c)).arg(x).arg(y);
            QVERIFY2(isNeutral(c) || isRedTinted(c),
                     qPrintable(QStringLiteral("neither red nor grey: ") + where));
            if (isWhite(c)) {
                ++white;
                continue;
            }
            ink = ink.united(QRect(x, y, 1, 1));
            if (isRedTinted(c)) {
                QVERIFY2(x < rightStart, qPrintable(QStringLiteral("red in 叟: ") + where));
                redRight = qMax(redRight, x);
            }
            if (isDark(c)) {
                QVERIFY2(x >= leftEnd, qPrintable(QStringLiteral("black in 扌: ") + where));
                darkLeft = qMin(darkLeft, x);
            }
            if (isRed(c)) {
                ++red;
                if (x < leftEnd)
                    ++redLeft;
            } else if (isDark(c)) {
                ++dark;
                if (x >= rightStart)
                    ++darkRight;
            }
        }
    }
    // 256 colours at most, like the original icon.
    QVERIFY2(colours.size() <= 256, qPrintable(QStringLiteral("%1 colours").arg(colours.size())));
    QVERIFY2(white > size * size / 2, qPrintable(QStringLiteral("%1 white pixels").arg(white)));
    QVERIFY2(redLeft > 0, "no red in the left part");
    QVERIFY2(darkRight > 0, "no black in the right part");
    QVERIFY(dark > red); // 叟 has more strokes than 扌
    QVERIFY2(
        redRight < darkLeft,
        qPrintable(QStringLiteral("red up to x=%1, black from x=%2").arg(redRight).arg(darkLeft)));
    // 扌 is the narrower, left component; the two meet in the left half.
    QVERIFY(darkLeft < rightStart);
    QVERIFY(darkLeft > leftEnd);
    // The character fills the picture.
    QVERIFY2(ink.width() >= size * 3 / 4 || ink.height() >= size * 3 / 4,
             qPrintable(QStringLiteral("ink %1 x %2").arg(ink.width()).arg(ink.height())));
}

void TestAppIcon::applicationIconHasTheDesignSizeAndALargeOne()
{
    const QIcon icon = platform::applicationIcon();
    const QMap<int, QString> files = iconFiles();
    QList<QSize> sizes = icon.availableSizes();
    std::sort(sizes.begin(), sizes.end(),
              [](const QSize &a, const QSize &b) { return a.width() < b.width(); });
    QList<QSize> expected;
    for (const int size : files.keys())
        expected.append(QSize(size, size));
    QCOMPARE(sizes, expected);
    QVERIFY(sizes.contains(QSize(48, 48)));
    QVERIFY(sizes.contains(QSize(256, 256)));
    // The window icon is the committed picture, pixel for pixel.
    for (const int size : {48, 256})
        QCOMPARE(icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_RGB32),
                 QImage(files.value(size)).convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(TestAppIcon)
#include "tst_widgets_app_icon.moc"
