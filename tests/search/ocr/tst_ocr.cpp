#include "search/ocr/ocr.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTest>

#include <thread>

namespace {

QImage fixture(const char *name)
{
    return QImage(QStringLiteral(QUARLEX_OCR_DIR "/") + QLatin1StringView(name));
}

// `count` copies of lines.png (three lines of print) one under the other, as one grayscale page.
QImage stacked(int count)
{
    const QImage line = fixture("lines.png");
    QImage page(line.width(), line.height() * count, QImage::Format_Grayscale8);
    page.fill(Qt::white);
    QPainter painter(&page);
    for (int i = 0; i < count; ++i)
        painter.drawImage(0, i * line.height(), line);
    return page;
}

} // namespace

class TestOcr : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void spacesBetweenCjkCharactersGo_data();
    void spacesBetweenCjkCharactersGo();
    void picturesAreToldByTheirSignature_data();
    void picturesAreToldByTheirSignature();
    void linesAreReadInOrder();
    void pagesAreCutBetweenLines_data();
    void pagesAreCutBetweenLines();
    void aPageReadInBandsKeepsEveryLine();
    void stopEndsAPageEarly();
};

// These pictures and pages are read by Tesseract here, band by band; tst_paddle reads photos.
void TestOcr::initTestCase()
{
    ocr::setEngine(ocr::Engine::Tesseract);
}

void TestOcr::spacesBetweenCjkCharactersGo_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("joined");
    QTest::newRow("two characters") << QStringLiteral(u"合 同") << QStringLiteral(u"合同");
    QTest::newRow("runs of spaces, punctuation")
        << QStringLiteral(u"合  同 ， 甲 方") << QStringLiteral(u"合同，甲方");
    QTest::newRow("Latin words keep theirs")
        << QStringLiteral(u"Invoice  Number 2024") << QStringLiteral(u"Invoice  Number 2024");
    QTest::newRow("between Chinese and a number, not a word")
        << QStringLiteral(u"第 12 条 Alpha 合 同 2023 年")
        << QStringLiteral(u"第12条 Alpha 合同2023年");
    QTest::newRow("between numbers") << QStringLiteral(u"12 34") << QStringLiteral(u"12 34");
    QTest::newRow("an ideograph outside the basic plane")
        << QStringLiteral(u"\U00020000 字") << QStringLiteral(u"\U00020000字");
}

void TestOcr::spacesBetweenCjkCharactersGo()
{
    QFETCH(QString, line);
    QFETCH(QString, joined);
    QCOMPARE(ocr::joinCjk(line), joined);
}

void TestOcr::picturesAreToldByTheirSignature_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("picture");
    const auto bytes = [](const char *data, qsizetype size) { return QByteArray(data, size); };
    QTest::newRow("PNG") << bytes("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) << true;
    QTest::newRow("JPEG") << bytes("\xFF\xD8\xFF\xE0\0\x10JFIF", 10) << true;
    QTest::newRow("GIF") << QByteArray("GIF89a\x01\0") << true;
    QTest::newRow("TIFF, both byte orders") << bytes("II*\0\x08\0\0\0", 8) << true;
    QTest::newRow("TIFF, big-endian") << bytes("MM\0*\0\0\0\x08", 8) << true;
    QTest::newRow("WebP") << QByteArray("RIFF\x10\x20\x30\x40WEBPVP8 ") << true;
    QTest::newRow("a WAVE file is no picture")
        << QByteArray("RIFF\x10\x20\x30\x40WAVEfmt ") << false;
    QTest::newRow("BMP") << bytes("BM\x36\x10\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0", 18) << true;
    QTest::newRow("a text that starts with BM") << QByteArray("BMW 320i, 2019, Beijing") << false;
    QTest::newRow("too short for its signature") << bytes("\x89PN", 3) << false;
}

void TestOcr::picturesAreToldByTheirSignature()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, picture);
    QCOMPARE(ocr::isPicture(head), picture);
}

void TestOcr::linesAreReadInOrder()
{
    const ocr::Result result = ocr::recognise(fixture("lines.png"));
    QCOMPARE(result.status, ocr::Status::Done);
    QCOMPARE(result.lines.size(), 3);
    QVERIFY2(result.lines[0].contains(u"合同第十二条"), qPrintable(result.lines[0]));
    QVERIFY2(result.lines[1].contains(u"违约金"), qPrintable(result.lines[1]));
    QVERIFY2(result.lines[2].contains(u"Invoice Number"), qPrintable(result.lines[2]));
    // A blank picture gives no line, and no error.
    const ocr::Result blank = ocr::recognise(fixture("blank.png"));
    QCOMPARE(blank.status, ocr::Status::Done);
    QVERIFY(blank.lines.isEmpty());
}

void TestOcr::pagesAreCutBetweenLines_data()
{
    QTest::addColumn<QImage>("page");
    QTest::addColumn<int>("fewest");
    QTest::addColumn<int>("most");
    // 3300 rows: some six bands of about 512 rows.
    QTest::newRow("a tall page of lines") << stacked(10) << 5 << 7;
    QTest::newRow("too short to cut") << stacked(3) << 1 << 1;
    // Print on every row, as a photograph has: nowhere to cut.
    QImage dark(1000, 3000, QImage::Format_Grayscale8);
    dark.fill(60);
    QTest::newRow("no gap between lines") << dark << 1 << 1;
    // A table's column rules and specks leave a gap between lines a gap.
    QImage ruled = stacked(10);
    {
        QPainter painter(&ruled);
        painter.fillRect(10, 0, 1, ruled.height(), Qt::black);
        painter.fillRect(500, 0, 1, ruled.height(), Qt::black);
        for (int y = 0; y < ruled.height(); y += 7)
            painter.fillRect((y * 37) % 990, y, 1, 1, Qt::black);
    }
    QTest::newRow("a ruled page with specks") << ruled << 5 << 7;
}

// Bands run from the first row to the last, and every cut is in a gap between lines: the rows
// there hold none of the print.
void TestOcr::pagesAreCutBetweenLines()
{
    QFETCH(QImage, page);
    QFETCH(int, fewest);
    QFETCH(int, most);
    const std::vector<int> cuts = ocr::bandCuts(page);
    QVERIFY(cuts.size() >= 2);
    QCOMPARE(cuts.front(), 0);
    QCOMPARE(cuts.back(), page.height());
    const int bands = int(cuts.size()) - 1;
    QVERIFY2(bands >= fewest && bands <= most, qPrintable(QString::number(bands)));
    const QImage plain = stacked(10);
    for (size_t i = 1; i + 1 < cuts.size(); ++i) {
        QVERIFY(cuts[i] > cuts[i - 1]);
        if (page.width() != plain.width())
            continue;
        // Compared with the same page without rules and specks: the row is white there.
        const uchar *row = plain.constScanLine(cuts[i]);
        QVERIFY2(std::all_of(row, row + plain.width(), [](uchar v) { return v >= 200; }),
                 qPrintable(QString::number(cuts[i])));
    }
}

// Read band by band, the tall page gives each of its lines once, in order.
void TestOcr::aPageReadInBandsKeepsEveryLine()
{
    const QImage page = stacked(10);
    QVERIFY(ocr::bandCuts(page).size() > 2);
    QList<int> told;
    const ocr::Result result =
        ocr::recognise(page, nullptr, [&](int percent) { told.append(percent); });
    QCOMPARE(result.status, ocr::Status::Done);
    QCOMPARE(result.lines.size(), 30);
    for (qsizetype i = 0; i < result.lines.size(); i += 3) {
        QVERIFY2(result.lines[i].contains(u"合同第十二条"), qPrintable(result.lines[i]));
        QVERIFY2(result.lines[i + 1].contains(u"违约金"), qPrintable(result.lines[i + 1]));
        QVERIFY2(result.lines[i + 2].contains(u"Invoice Number"), qPrintable(result.lines[i + 2]));
    }
    // The share read rises through the bands to the whole page.
    for (qsizetype i = 1; i < told.size(); ++i)
        QVERIFY(told[i] > told[i - 1]);
    QCOMPARE(told.constLast(), 100);
}

// A stop set while the engine reads a page ends the page: the same page read whole takes
// several times longer than the read that was stopped.
void TestOcr::stopEndsAPageEarly()
{
    const QImage line = fixture("lines.png");
    QImage page(line.width() * 2, line.height() * 6, QImage::Format_Grayscale8);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 2; ++x)
                painter.drawImage(x * line.width(), y * line.height(), line);
        }
    }
    QElapsedTimer timer;
    timer.start();
    const ocr::Result whole = ocr::recognise(page);
    const qint64 wholeMs = timer.elapsed();
    QCOMPARE(whole.status, ocr::Status::Done);
    QVERIFY(whole.lines.size() >= 12);

    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(wholeMs / 5));
        stop = true;
    });
    timer.restart();
    const ocr::Result stopped = ocr::recognise(page, &stop);
    const qint64 stoppedMs = timer.elapsed();
    stopper.join();
    QCOMPARE(stopped.status, ocr::Status::Stopped);
    QVERIFY(stopped.lines.isEmpty());
    QVERIFY2(stoppedMs < wholeMs / 2,
             qPrintable(QStringLiteral("stopped after %1 ms of %2").arg(stoppedMs).arg(wholeMs)));
}

QTEST_GUILESS_MAIN(TestOcr)
#include "tst_ocr.moc"
