#include "search/cache/text_cache.h"
#include "search/core/file_search.h"
#include "search/core/search_run.h"
#include "search/documents/registry.h"
#include "support/document_catalogue.h"
#include "support/read_status.h"

#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

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

QString textOf(const QString &path, documents::Outcome &outcome,
               const std::atomic<bool> *stop = nullptr)
{
    QString text;
    platform::WorkMonitor monitor;
    // A stop asked from another thread reaches the reader through the monitor it polls.
    std::atomic<bool> done{false};
    std::thread relay([&] {
        while (!done.load()) {
            if (stop && stop->load())
                monitor.cancel();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    outcome = documents::openDocument(path, documents::Source(path).head(64))
                  ->extract(
                      [&](QStringView piece) {
                          text.append(piece);
                          return true;
                      },
                      monitor);
    done = true;
    relay.join();
    return text;
}

} // namespace

class TestOcrDocuments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scansAndPicturesAreSearched_data();
    void scansAndPicturesAreSearched();
    void mixedPdfKeepsPageOrder();
    void stopEndsAPictureInsideItsPage();
    void extractionTellsItsPages();
    void runShowsTheScanPageByPage_data();
    void runShowsTheScanPageByPage();
};

// Every picture fixture: each of its words is a hit; one without words answers as unreadable.
void TestOcrDocuments::scansAndPicturesAreSearched_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("status");
    for (const fixtures::DocumentFixture &fixture :
         fixtures::documentFixtures({fixtures::Family::Picture})) {
        const int status = int(fixtures::readStatusOf(fixture.outcome));
        for (const QString &word : fixture.words)
            QTest::addRow("\"%s\" in %s", qPrintable(word), qPrintable(fixture.about))
                << fixtures::documentPath(fixture) << word << int(Outcome::Hit) << status;
        if (fixture.words.isEmpty())
            QTest::addRow("%s", qPrintable(fixture.about))
                << fixtures::documentPath(fixture) << QStringLiteral(u"合同")
                << int(Outcome::Unreadable) << status;
    }
    QTest::newRow("a keyword that is not there") << fixture("lines.png") << QStringLiteral(u"甲方")
                                                 << int(Outcome::NoHit) << int(ReadStatus::Ok);
}

// Each file searched twice with a text cache: the first search recognises it, the second
// answers the same from the text kept.
void TestOcrDocuments::scansAndPicturesAreSearched()
{
    QFETCH(QString, path);
    QFETCH(QString, keyword);
    QFETCH(int, outcome);
    QFETCH(int, status);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    textcache::TextCache cache(folder.filePath(QStringLiteral("cache")));
    FileSearchOptions options;
    options.textCache = &cache;
    FileSearch search(options);

    const FileSearchResult first = search.search(path, keyword);
    QCOMPARE(int(first.outcome), outcome);
    QCOMPARE(int(first.status), status);
    if (first.outcome == Outcome::Hit)
        QVERIFY2(first.excerpt.contains(keyword), qPrintable(first.excerpt));
    QVERIFY(search.stats().document);
    QVERIFY(!search.stats().fromCache);
    QVERIFY(search.stats().storedInCache);

    const FileSearchResult second = search.search(path, keyword);
    QVERIFY(search.stats().fromCache);
    QCOMPARE(int(second.outcome), outcome);
    QCOMPARE(int(second.status), status);
    QCOMPARE(second.excerpt, first.excerpt);
}

void TestOcrDocuments::mixedPdfKeepsPageOrder()
{
    documents::Outcome outcome;
    const QString text = textOf(fixture("mixed.pdf"), outcome);
    QCOMPARE(outcome, documents::Outcome::Done);
    const qsizetype typed = text.indexOf(u"first page Alpha");
    const qsizetype scanned = text.indexOf(u"扫描的图片");
    QVERIFY2(typed >= 0 && scanned > typed, qPrintable(text));
}

// A stop set while a large picture is being recognised ends its extraction as stopped.
void TestOcrDocuments::stopEndsAPictureInsideItsPage()
{
    const QImage line(fixture("lines.png"));
    QImage page(line.width() * 2, line.height() * 8, QImage::Format_Grayscale8);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        for (int i = 0; i < 16; ++i)
            painter.drawImage((i % 2) * line.width(), (i / 2) * line.height(), line);
    }
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("page.png"));
    QVERIFY(page.save(path));

    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    documents::Outcome outcome;
    const QString text = textOf(path, outcome, &stop);
    stopper.join();
    QCOMPARE(outcome, documents::Outcome::Stopped);
    // Not a line of the 16 was handed out: the page was left inside.
    QVERIFY2(!text.contains(u"违约金"), qPrintable(text));
}

// pages.pdf: four scanned pages. Each page's start is told, then the engine's count moves inside
// it, and the last page's end is the whole document.
void TestOcrDocuments::extractionTellsItsPages()
{
    const QString path = fixture("pages.pdf");
    QList<int> told;
    QString text;
    platform::WorkMonitor monitor;
    monitor.setProgressObserver([&](int permille) { told.append(permille); });
    const documents::Outcome outcome = documents::openAs(path, documents::Kind::Pdf)
                                           ->extract(
                                               [&](QStringView piece) {
                                                   text.append(piece);
                                                   return true;
                                               },
                                               monitor);
    QCOMPARE(outcome, documents::Outcome::Done);
    QVERIFY2(text.contains(u"第4页扫描件"), qPrintable(text));
    QVERIFY(!told.isEmpty());
    for (qsizetype i = 1; i < told.size(); ++i)
        QVERIFY2(told.at(i) > told.at(i - 1), qPrintable(QString::number(told.at(i))));
    for (int start : {0, 250, 500, 750})
        QVERIFY2(told.contains(start), qPrintable(QString::number(start)));
    QString shown;
    for (int permille : std::as_const(told))
        shown += QString::number(permille) + u' ';
    // Inside a page the engine's count of the words read moves the figure on.
    QVERIFY2(std::any_of(told.cbegin(), told.cend(), [](int p) { return p % 250 != 0; }),
             qPrintable(shown));
    QCOMPARE(told.constLast(), 1000);
}

void TestOcrDocuments::runShowsTheScanPageByPage_data()
{
    QTest::addColumn<bool>("workers");
    QTest::newRow("the run's own search") << false;
    // The run searches a long text file first; meanwhile the worker takes the scan ahead, and
    // the run waits for it.
    QTest::newRow("a worker reading ahead") << true;
}

// While the run is at the scan, the share of it read rises page by page (each page takes the
// engine far longer than the run's polls); the other file moves the line by whole files only.
void TestOcrDocuments::runShowsTheScanPageByPage()
{
    QFETCH(bool, workers);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QFile text(folder.filePath(QStringLiteral("a.txt")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    QVERIFY(text.write(QByteArray(8 << 20, 'x')) == 8 << 20);
    text.close();
    QVERIFY(QFile::copy(fixture("pages.pdf"), folder.filePath(QStringLiteral("b.pdf"))));
    search::RunSnapshot snapshot;
    snapshot.folderPath = folder.path();
    snapshot.entries = {{QStringLiteral("a.txt"), true}, {QStringLiteral("b.pdf"), true}};
    textcache::TextCache cache(folder.filePath(QStringLiteral("cache")));

    search::SearchRun run(
        snapshot, [] { return QStringLiteral(u"第4页"); }, [] {});
    // The workers let go of the cache before it goes, also when a check below fails.
    const auto releaseWorkers = qScopeGuard([&run] {
        run.takePrefetch().reset();
        for (int waited = 0; search::DocumentPrefetch::runningWorkers() > 0 && waited < 3000;
             ++waited)
            QTest::qWait(10);
    });
    run.setYieldInterval(0);
    if (workers)
        run.setTextCache(&cache, 1);
    QList<double> shares[2];
    run.setProgress([&](int done, int total, double share) {
        QCOMPARE(total, 2);
        if (share > 0)
            shares[std::min(done, 1)].append(share);
    });
    run.run();
    QCOMPARE(run.hits().size(), 1);
    QVERIFY(shares[0].isEmpty());
    const QList<double> &scan = shares[1];
    for (qsizetype i = 1; i < scan.size(); ++i)
        QVERIFY(scan.at(i) > scan.at(i - 1));
    // Shown within at least three of the four pages by the run's own search. A worker recognises
    // two scanned pages at a time, so the second of a pair ends as soon as the first: the run,
    // which looks at the worker's figure only when it polls, sees at least two of the quarters.
    QSet<int> pages;
    for (double share : scan)
        pages.insert(std::min(3, int(share * 4)));
    QVERIFY2(pages.size() >= (workers ? 2 : 3), qPrintable(QString::number(scan.size())));
}

QTEST_GUILESS_MAIN(TestOcrDocuments)
#include "tst_ocr_documents.moc"
