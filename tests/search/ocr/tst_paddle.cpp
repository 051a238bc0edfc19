#include "search/ocr/ocr.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <random>
#include <thread>

// The PaddleOCR engine on pictures Tesseract reads badly: photos, vertical text, screenshots; its
// fallback to Tesseract without models; the stop inside a picture; which engine reads what.
namespace {

QFont font(const char *family, int pixels, bool bold = false)
{
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// The picture as a file of `format` holds it, decoded as the picture reader decodes it.
QImage throughFile(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return ocr::decode(bytes);
}

void addNoise(QImage &image, double sigma)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, sigma);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const auto c = [&](int v) { return std::clamp(v + int(noise(random)), 0, 255); };
            row[x] = qRgb(c(qRed(row[x])), c(qGreen(row[x])), c(qBlue(row[x])));
        }
    }
}

// A phone photo of a shop's poster: a coloured gradient with blotches, a white title on a red
// label, dark text on the light part, all turned a few degrees, noisy, as a JPEG. `scale` makes it
// that many times larger.
QImage photo(int scale = 1)
{
    QImage image(1000 * scale, 750 * scale, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    QLinearGradient gradient(0, 0, 1000, 750);
    gradient.setColorAt(0, QColor(240, 170, 90));
    gradient.setColorAt(1, QColor(40, 140, 150));
    painter.fillRect(0, 0, 1000, 750, gradient);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 70));
    painter.drawEllipse(QPoint(700, 200), 260, 180);
    painter.translate(500, 375);
    painter.rotate(-4);
    painter.fillRect(-330, -250, 520, 110, QColor(200, 20, 30));
    painter.setFont(font("WenQuanYi Micro Hei", 72, true));
    painter.setPen(Qt::white);
    painter.drawText(-310, -165, QStringLiteral(u"开业大酬宾"));
    painter.setFont(font("AR PL UKai CN", 54));
    painter.setPen(QColor(30, 20, 60));
    painter.drawText(-330, 10, QStringLiteral(u"全场商品八折"));
    painter.drawText(-330, 110, QStringLiteral(u"会员积分翻倍"));
    painter.end();
    if (scale == 1)
        addNoise(image, 9);
    return throughFile(image, "JPEG", 70);
}

// A page of vertical text: columns from the right, each read from the top down.
QImage verticalText()
{
    QImage image(760, 900, QImage::Format_RGB32);
    image.fill(QColor(236, 226, 204));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font("AR PL UKai CN", 60));
    painter.setPen(QColor(35, 30, 25));
    const QString columns[] = {QStringLiteral(u"春眠不觉晓"), QStringLiteral(u"处处闻啼鸟"),
                               QStringLiteral(u"夜来风雨声"), QStringLiteral(u"花落知多少")};
    for (int c = 0; c < 4; ++c) {
        for (int i = 0; i < columns[c].size(); ++i)
            painter.drawText(QRect(560 - c * 150, 110 + i * 68, 64, 64), Qt::AlignCenter,
                             columns[c].mid(i, 1));
    }
    painter.end();
    addNoise(image, 4);
    return throughFile(image, "JPEG", 85);
}

// A desktop screenshot: a menu bar, a side list and a window of 14-pixel text, as a PNG.
QImage screenshot()
{
    QImage image(1280, 720, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(0, 0, 1280, 26, QColor(236, 236, 236));
    painter.fillRect(0, 26, 220, 694, QColor(245, 246, 248));
    painter.setPen(QColor(30, 30, 30));
    painter.setFont(font("WenQuanYi Micro Hei", 13));
    painter.drawText(12, 18, QStringLiteral(u"文件  编辑  视图"));
    painter.setFont(font("WenQuanYi Micro Hei", 14));
    painter.drawText(20, 70, QStringLiteral(u"文件传输助手"));
    painter.drawText(20, 104, QStringLiteral(u"项目讨论组"));
    painter.drawText(250, 70, QStringLiteral(u"会议纪要已发送，请各位查收"));
    painter.drawText(250, 104, QStringLiteral(u"下周三上午十点在三楼开会"));
    painter.end();
    return throughFile(image, "PNG");
}

// The models the build prepared; the tests that need them are skipped without.
QString modelFolder()
{
    return qEnvironmentVariable("QUARLEX_OCR_MODELS");
}

} // namespace

class TestPaddle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void picturesGiveTheirWordsInReadingOrder_data();
    void picturesGiveTheirWordsInReadingOrder();
    void withoutUsableModelsTesseractReads_data();
    void withoutUsableModelsTesseractReads();
    void stopEndsAPictureBetweenLines();
    void eachKindOfPictureGoesToItsEngine_data();
    void eachKindOfPictureGoesToItsEngine();
};

void TestPaddle::init()
{
    if (modelFolder().isEmpty() || !QFile::exists(modelFolder() + QStringLiteral("/rec.onnx")))
        QSKIP("built without the text recognition models");
}

void TestPaddle::cleanup()
{
    ocr::setEngine(ocr::Engine::Automatic);
    ocr::setModelFolder(QString());
}

void TestPaddle::picturesGiveTheirWordsInReadingOrder_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("a turned, noisy photo of a coloured poster")
        << photo()
        << QStringList{QStringLiteral(u"开业大酬宾"), QStringLiteral(u"全场商品八折"),
                       QStringLiteral(u"会员积分翻倍")};
    QTest::newRow("vertical text, columns from the right")
        << verticalText()
        << QStringList{QStringLiteral(u"春眠不觉晓"), QStringLiteral(u"处处闻啼鸟"),
                       QStringLiteral(u"夜来风雨声"), QStringLiteral(u"花落知多少")};
    QTest::newRow("a screenshot with 14-pixel text")
        << screenshot()
        << QStringList{QStringLiteral(u"文件传输助手"), QStringLiteral(u"会议纪要已发送"),
                       QStringLiteral(u"项目讨论组"), QStringLiteral(u"下周三上午十点")};
    // Decoded at a quarter of its size (12 Mpx at most), the detector's input smaller still.
    QTest::newRow("a photo of 48 million pixels, read scaled down")
        << photo(8)
        << QStringList{QStringLiteral(u"开业大酬宾"), QStringLiteral(u"全场商品八折"),
                       QStringLiteral(u"会员积分翻倍")};
}

void TestPaddle::picturesGiveTheirWordsInReadingOrder()
{
    QFETCH(QImage, picture);
    QFETCH(QStringList, words);
    QVERIFY(!picture.isNull());
    QVERIFY(qint64(picture.width()) * picture.height() <= ocr::kMaxPagePixels);
    QCOMPARE(ocr::engineFor(picture), ocr::Engine::Paddle);
    QList<int> told;
    const ocr::Result result =
        ocr::recognise(picture, nullptr, [&](int percent) { told.append(percent); });
    QCOMPARE(result.status, ocr::Status::Done);
    const QString text = result.lines.join(u'\n');
    // Each word once found after the one before: the lines come in reading order.
    qsizetype at = 0;
    for (const QString &word : words) {
        const qsizetype found = text.indexOf(word);
        QVERIFY2(found >= at, qPrintable(word + u" in\n" + text));
        at = found + word.size();
    }
    // No spaces between Chinese characters, and the progress rises to the end.
    QVERIFY2(
        !text.contains(QRegularExpression(QStringLiteral(u"[\u4e00-\u9fff] +[\u4e00-\u9fff]"))),
        qPrintable(text));
    QVERIFY(!told.isEmpty());
    QCOMPARE(told.constLast(), 100);
    QVERIFY(std::is_sorted(told.cbegin(), told.cend()));
}

void TestPaddle::withoutUsableModelsTesseractReads_data()
{
    QTest::addColumn<QString>("damaged"); // the model file made unusable; empty: none there
    QTest::newRow("an empty folder") << QString();
    QTest::newRow("a detector that is no ONNX graph") << QStringLiteral("det.onnx");
    QTest::newRow("a recogniser cut short") << QStringLiteral("rec.onnx");
}

// The models missing or damaged, a picture still gives its text, read by Tesseract.
void TestPaddle::withoutUsableModelsTesseractReads()
{
    QFETCH(QString, damaged);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (!damaged.isEmpty()) {
        for (const char *name :
             {"det.onnx", "rec.onnx", "cls.onnx", "keys.txt", "models.version"}) {
            QVERIFY(QFile::copy(modelFolder() + u'/' + QLatin1StringView(name),
                                folder.filePath(QLatin1StringView(name))));
        }
        QFile file(folder.filePath(damaged));
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray head = file.read(4096);
        file.resize(0);
        file.write(damaged == u"det.onnx" ? QByteArray(4096, 'x') : head);
    }
    ocr::setModelFolder(folder.path());
    ocr::setEngine(ocr::Engine::Paddle);
    const ocr::Result result = ocr::recognise(QImage(QStringLiteral(QUARLEX_OCR_DIR "/lines.png")));
    QCOMPARE(result.status, ocr::Status::Done);
    QVERIFY2(result.lines.join(u'\n').contains(u"合同第十二条"),
             qPrintable(result.lines.join(u'\n')));
    // The real models again: PaddleOCR reads, and a picture without text still gives none.
    ocr::setModelFolder(modelFolder());
    QImage blank(800, 600, QImage::Format_RGB32);
    blank.fill(QColor(90, 160, 200));
    const ocr::Result none = ocr::recognise(throughFile(blank, "JPEG", 80));
    QCOMPARE(none.status, ocr::Status::Done);
    QVERIFY(none.lines.isEmpty());
}

// A stop set once the first line is read ends the picture before the next: nothing more is
// read or told. One set while the detector runs ends it before the first line.
void TestPaddle::stopEndsAPictureBetweenLines()
{
    QImage page(1000, 1400, QImage::Format_RGB32);
    page.fill(QColor(250, 245, 230));
    {
        QPainter painter(&page);
        painter.setFont(font("WenQuanYi Micro Hei", 30));
        painter.setPen(QColor(40, 40, 40));
        for (int i = 0; i < 24; ++i)
            painter.drawText(60, 70 + i * 54,
                             QStringLiteral(u"第%1行：合同条款与付款方式").arg(i + 1));
    }
    const QImage picture = throughFile(page, "JPEG", 80);
    QCOMPARE(ocr::engineFor(picture), ocr::Engine::Paddle);
    std::atomic<bool> stop{false};
    int toldAfterStop = 0;
    const ocr::Result stopped = ocr::recognise(picture, &stop, [&](int percent) {
        if (stop)
            ++toldAfterStop;
        else if (percent > 10)
            stop = true; // the first line is read
    });
    QCOMPARE(stopped.status, ocr::Status::Stopped);
    QVERIFY(stopped.lines.isEmpty());
    QCOMPARE(toldAfterStop, 0);

    QElapsedTimer clock;
    clock.start();
    const ocr::Result whole = ocr::recognise(picture);
    const qint64 wholeMs = clock.elapsed();
    QCOMPARE(whole.status, ocr::Status::Done);
    QCOMPARE(whole.lines.size(), 24);
    stop = false;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop = true;
    });
    clock.restart();
    const ocr::Result early = ocr::recognise(picture, &stop);
    const qint64 earlyMs = clock.elapsed();
    stopper.join();
    QCOMPARE(early.status, ocr::Status::Stopped);
    QVERIFY2(earlyMs < wholeMs / 2,
             qPrintable(QStringLiteral("%1 of %2 ms").arg(earlyMs).arg(wholeMs)));
}

void TestPaddle::eachKindOfPictureGoesToItsEngine_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("engine");
    // An A4 page scanned at 300 dpi: paper white, print black, a little noise.
    QImage scan(2480, 3508, QImage::Format_Grayscale8);
    scan.fill(236);
    scan.setDotsPerMeterX(11811);
    scan.setDotsPerMeterY(11811);
    {
        QPainter painter(&scan);
        painter.setFont(font("WenQuanYi Micro Hei", 50));
        painter.setPen(QColor(40, 40, 40));
        for (int y = 300; y < 3300; y += 80)
            painter.drawText(230, y,
                             QStringLiteral(u"本合同自双方签字盖章之日起生效，有效期三年。"));
    }
    QTest::newRow("a scanned page of print") << scan << int(ocr::Engine::Tesseract);
    // A screenshot of the page in a document viewer: 96 dpi, 2 Mpx.
    QImage onScreen = scan.scaled(1240, 1754, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    onScreen.setDotsPerMeterX(3780);
    onScreen.setDotsPerMeterY(3780);
    QTest::newRow("the page on a screen, at 96 dpi") << onScreen << int(ocr::Engine::Paddle);
    // A 60-inch square scanned page, rendered at 57 dpi to fit the page budget.
    QImage huge(3420, 3420, QImage::Format_Grayscale8);
    huge.fill(250);
    huge.setDotsPerMeterX(2244);
    huge.setDotsPerMeterY(2244);
    {
        QPainter painter(&huge);
        painter.setFont(font("WenQuanYi Micro Hei", 12));
        for (int y = 100; y < 3300; y += 30)
            painter.drawText(
                100, y, QStringLiteral(u"图纸说明：尺寸单位为毫米，未注明公差按国家标准执行。"));
    }
    QTest::newRow("a page of 12 Mpx at 57 dpi") << huge << int(ocr::Engine::Tesseract);
    QTest::newRow("a photo") << photo() << int(ocr::Engine::Paddle);
    QTest::newRow("a screenshot") << screenshot() << int(ocr::Engine::Paddle);
    QTest::newRow("a small picture of print")
        << QImage(QStringLiteral(QUARLEX_OCR_DIR "/lines.png")) << int(ocr::Engine::Paddle);
    // A phone chat: light grey, white and green bubbles, big enough to pass for a page.
    QImage chat(1080, 2340, QImage::Format_RGB32);
    chat.fill(QColor(237, 237, 237));
    {
        QPainter painter(&chat);
        for (int y = 200; y < 2200; y += 260)
            painter.fillRect((y / 260) % 2 ? 80 : 400, y, 600, 150,
                             (y / 260) % 2 ? QColor(Qt::white) : QColor(149, 236, 105));
    }
    QTest::newRow("a phone chat") << chat.convertToFormat(QImage::Format_Grayscale8)
                                  << int(ocr::Engine::Paddle);
    // The scanned page photographed instead, in the light of a lamp on one side, its camera
    // claiming 300 dpi: a third of the paper in shade.
    QImage shaded = scan.convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&shaded);
        QLinearGradient light(0, 0, shaded.width(), 0);
        light.setColorAt(0.5, QColor(0, 0, 0, 0));
        light.setColorAt(1, QColor(0, 0, 0, 140));
        painter.fillRect(shaded.rect(), light);
    }
    QTest::newRow("a photo of the page, in shade, claiming 300 dpi")
        << shaded.convertToFormat(QImage::Format_Grayscale8) << int(ocr::Engine::Paddle);
}

void TestPaddle::eachKindOfPictureGoesToItsEngine()
{
    QFETCH(QImage, picture);
    QFETCH(int, engine);
    QCOMPARE(int(ocr::engineFor(picture.convertToFormat(QImage::Format_Grayscale8))), engine);
}

QTEST_MAIN(TestPaddle)
#include "tst_paddle.moc"
