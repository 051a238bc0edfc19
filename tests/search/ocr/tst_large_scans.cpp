#include "search/cache/text_cache.h"
#include "search/core/document_prefetch.h"
#include "search/core/file_search.h"
#include "search/core/search_run.h"
#include "search/documents/pdf/pdf_scan_render.h"
#include "search/documents/source.h"
#include "search/ocr/picture_decoding.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using search::FileSearch;
using search::FileSearchOptions;
using search::FileSearchResult;
using search::ReadStatus;
using Outcome = search::FileSearchResult::Outcome;

namespace {

QString fixture(const char *name)
{
    return QStringLiteral(QUARLEX_OCR_DIR "/") + QLatin1StringView(name);
}

int dpiOf(const QImage &image)
{
    return qRound(image.dotsPerMeterX() * 0.0254);
}

} // namespace

// Scans and pictures larger than a page, and files of several pictures (tests/data/documents/ocr,
// drawn by tests/data/make_scan_fixtures.sh).
class TestLargeScans : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void largeAndManyPagedPicturesAreRead_data();
    void largeAndManyPagedPicturesAreRead();
    void picturesAreDecodedWithinTheBudget_data();
    void picturesAreDecodedWithinTheBudget();
    void scannedPagesRenderAtTheirImagesResolution_data();
    void scannedPagesRenderAtTheirImagesResolution();
    void firstHitEndsRecognitionAndTheWorkerKeepsTheWhole();
};

void TestLargeScans::largeAndManyPagedPicturesAreRead_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("status");
    QTest::newRow("a 600 dpi A4 JPEG (35 Mpx) is read scaled down")
        << fixture("a4-600dpi.jpg") << QStringLiteral(u"六百点扫描件") << int(Outcome::Hit)
        << int(ReadStatus::Ok);
    QTest::newRow("the third page of a fax TIFF is read")
        << fixture("pages.tif") << QStringLiteral(u"传真第三页") << int(Outcome::Hit)
        << int(ReadStatus::Ok);
    QTest::newRow("the second frame of a GIF is read")
        << fixture("frames.gif") << QStringLiteral(u"动画第二帧") << int(Outcome::Hit)
        << int(ReadStatus::Ok);
    QTest::newRow("a 17 by 25 inch page of 96 dpi strips is read")
        << fixture("oversized.pdf") << QStringLiteral(u"超大扫描第一页") << int(Outcome::Hit)
        << int(ReadStatus::Ok);
    QTest::newRow("a PNG claiming 65535 pixels a side is refused unread")
        << fixture("giant.png") << QStringLiteral(u"合同") << int(Outcome::Unreadable)
        << int(ReadStatus::Damaged);
}

void TestLargeScans::largeAndManyPagedPicturesAreRead()
{
    QFETCH(QString, path);
    QFETCH(QString, keyword);
    QFETCH(int, outcome);
    QFETCH(int, status);
    FileSearch search;
    const FileSearchResult result = search.search(path, keyword);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(int(result.status), status);
    if (result.outcome == Outcome::Hit)
        QVERIFY2(result.excerpt.contains(keyword), qPrintable(result.excerpt));
}

void TestLargeScans::picturesAreDecodedWithinTheBudget_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("count");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("dpi");
    // Halved by the JPEG decoder itself: the 600 dpi page becomes a 300 dpi one.
    QTest::newRow("a 600 dpi A4 JPEG is decoded at half its size and resolution")
        << fixture("a4-600dpi.jpg") << 1 << QSize(2480, 3508) << 300;
    QTest::newRow("every page of a TIFF is decoded, as it is")
        << fixture("pages.tif") << 3 << QSize(1700, 600) << 200;
    // A GIF states no resolution: Qt's 96 dpi.
    QTest::newRow("every frame of a GIF is decoded")
        << fixture("frames.gif") << 2 << QSize(1000, 330) << 96;
}

void TestLargeScans::picturesAreDecodedWithinTheBudget()
{
    QFETCH(QString, path);
    QFETCH(int, count);
    QFETCH(QSize, size);
    QFETCH(int, dpi);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QImage> pictures;
    const ocr::DecodeStatus status =
        ocr::decodePictures(file, [&](const QImage &picture, int index, int told) {
            pictures.append(picture);
            return index < told;
        });
    QCOMPARE(status, ocr::DecodeStatus::Done);
    QCOMPARE(pictures.size(), count);
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        QCOMPARE(pictures.at(i).format(), QImage::Format_Grayscale8);
        QCOMPARE(pictures.at(i).size(), size);
        // Each page in turn, not the first one again: their text differs.
        if (i > 0)
            QVERIFY(pictures.at(i) != pictures.at(i - 1));
    }
    QCOMPARE(dpiOf(pictures.constFirst()), dpi);
    // A picture reduced beyond what the decoder does is averaged block by block.
    const QImage reduced = ocr::reducedGray(pictures.constFirst(), 3);
    QCOMPARE(reduced.size(), QSize((size.width() + 2) / 3, (size.height() + 2) / 3));
    QCOMPARE(dpiOf(reduced), qRound(dpi / 3.0));
    QVERIFY(qint64(reduced.width()) * reduced.height() <= ocr::kMaxPagePixels);
}

void TestLargeScans::scannedPagesRenderAtTheirImagesResolution_data()
{
    QTest::addColumn<QSizeF>("points");
    QTest::addColumn<double>("imagePpi");
    QTest::addColumn<int>("dpi");
    const QSizeF a4(595, 842);
    QTest::newRow("an A4 scan at 300 dpi renders at 300") << a4 << 300.0 << 300;
    QTest::newRow("an A4 scan at 200 dpi renders at 200") << a4 << 200.0 << 200;
    QTest::newRow("an A4 scan at 600 dpi renders at no more than 300") << a4 << 600.0 << 300;
    QTest::newRow("an A4 page without a measured image renders at 300") << a4 << 0.0 << 300;
    QTest::newRow("96 dpi strips on a 1225 x 1800 pt page render at 150")
        << QSizeF(1225, 1800) << 96.0 << 150;
    // 20 x 30 inches at 150 dpi would be 13.5 Mpx: the budget sets the resolution.
    QTest::newRow("a 20 x 30 inch page at 300 dpi renders within 12 Mpx")
        << QSizeF(1440, 2160) << 300.0 << 140;
    QTest::newRow("a 60 inch square page renders within 12 Mpx, however coarse")
        << QSizeF(4320, 4320) << 300.0 << 57;
}

void TestLargeScans::scannedPagesRenderAtTheirImagesResolution()
{
    QFETCH(QSizeF, points);
    QFETCH(double, imagePpi);
    QFETCH(int, dpi);
    const double chosen = documents::ScanRenderer::resolution(points, imagePpi);
    QCOMPARE(int(chosen), dpi);
    const double pixels = points.width() / 72 * chosen * points.height() / 72 * chosen;
    QVERIFY(pixels <= ocr::kMaxPagePixels);
}

// The scan's keyword is on its first page: the run's search ends there, keeping no part of the
// text as if it were whole; a worker then reads the whole scan into the cache, so that a
// keyword of the last page is answered from the kept text.
void TestLargeScans::firstHitEndsRecognitionAndTheWorkerKeepsTheWhole()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("scan.pdf"));
    QVERIFY(QFile::copy(QStringLiteral(QUARLEX_OCR_DIR "/pages.pdf"), path));
    textcache::TextCache cache(folder.filePath(QStringLiteral("cache")));
    FileSearchOptions options;
    options.textCache = &cache;
    FileSearch search(options);
    const FileSearchResult first = search.search(path, QStringLiteral(u"第1页扫描件"));
    QCOMPARE(first.outcome, Outcome::Hit);
    QVERIFY(!first.textKept);
    QVERIFY(!search.stats().storedInCache);

    // The same in a run with a worker: the run's answer first, the whole text kept after.
    const QString other = folder.filePath(QStringLiteral("again.pdf"));
    QVERIFY(QFile::copy(path, other));
    search::RunSnapshot snapshot;
    snapshot.folderPath = folder.path();
    snapshot.entries = {{QStringLiteral("again.pdf"), true}};
    search::SearchRun run(
        snapshot, [] { return QStringLiteral(u"第1页扫描件"); }, [] {});
    run.setTextCache(&cache, 1);
    run.run();
    QCOMPARE(run.hits().size(), 1);
    const std::unique_ptr<search::DocumentPrefetch> prefetch = run.takePrefetch();
    QTRY_VERIFY_WITH_TIMEOUT(search::DocumentPrefetch::runningWorkers() == 0, 60000);
    const FileSearchResult last = search.search(other, QStringLiteral(u"第4页扫描件"));
    QVERIFY(search.stats().fromCache);
    QCOMPARE(last.outcome, Outcome::Hit);
}

QTEST_GUILESS_MAIN(TestLargeScans)
#include "tst_large_scans.moc"
