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

} // namespace

class TestOcr : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void spacesBetweenCjkCharactersGo_data();
    void spacesBetweenCjkCharactersGo();
    void picturesAreToldByTheirSignature_data();
    void picturesAreToldByTheirSignature();
    void linesAreReadInOrder();
    void stopEndsAPageEarly();
};

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
