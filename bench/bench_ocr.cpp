// Benchmarks of text recognition, driven by bench/run.sh ("ocr" section). Commands:
//
//   gen DIR COUNT                 writes COUNT scanned A4 pages (300 dpi grayscale PNG, Chinese
//                                 text in WenQuanYi Micro Hei from a fixed seed, turned by up to
//                                 0.4 degrees, with noise) as DIR/pageNNN.png, and the words of
//                                 each page (2 and 4 characters) as DIR/pageNNN.words
//   gen-large DIR KEYWORD         writes the large scans of bench_ocr_scans.h into DIR
//   run CACHE WORKERS KEYWORD FILE...
//                                 a search run over the files (all marked) with the text cache in
//                                 CACHE and WORKERS threads extracting ahead; prints the seconds
//                                 from start to report, the hits, the resident memory above
//                                 idle at its peak and the process's peak (MiB), once the
//                                 workers have ended too
//   accuracy CACHE DIR            searches every word of DIR/*.words in its page, through the
//                                 cache the run filled; prints the share of 4- and 2-character
//                                 words found, and the words missed
//   gen-photos DIR                writes the photos and screenshots of bench_ocr_photos.h into DIR
//   photos DIR                    the share of their words recognition finds, per kind
//   listed WORDS.TSV              the same for the pictures a WORDS.tsv lists
//   read FILE...                  prints what recognition reads in each picture, and its time
//   cancel FILE                   recognises FILE on a worker (its engine loaded before), asks it
//                                 to stop 0.5 s and 6 s into the page, and prints the
//                                 milliseconds until the worker has ended, for each
#include "bench_ocr_photos.h"
#include "bench_ocr_scans.h"
#include "search/cache/text_cache.h"
#include "search/core/document_text_stream.h"
#include "search/core/file_search.h"
#include "search/core/search_run.h"
#include "search/documents/registry.h"
#include "search/formats/format_module.h"
#include "search/formats/linked/linked_readers.h"
#include "search/ocr/ocr.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>
#include <random>

namespace {

qint64 rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

qint64 peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Common characters of Chinese prose, from which the words are drawn.
const QString kCharacters =
    QStringLiteral(u"的一是在不了有和人这中大为上个国我以要他时来用们生到作地"
                   u"于出就分对成会可主发年动同工也能下过子说产种面而方后多定"
                   u"行学法所民得经十三之进着等部度家电力里如水化高自二理起小"
                   u"物现实加量都两体制机当使点从业本去把性好应开它合还因由其"
                   u"些然前外天政四日那社义事平形相全表间样与关各重新线内数正"
                   u"心反你明看原又么利比或但质气第向道命此变条只没结解问意建"
                   u"月公无系军很情者最立代想已通并提直题党程展五果料象员革位"
                   u"入常文总次品式活设及管特件长求老头基资边流路级少图山统接"
                   u"知较将组见计别她手角期根论运农指几九区强放决西被干做必战"
                   u"先回则任取据处府研越织装影算低持音众书布复容儿须际商非验"
                   u"连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往"
                   u"酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效"
                   u"斯院查江型眼王按格养易置派层片始却专状育厂京识适属圆包火"
                   u"住调满县局照参红细引听该铁价严");

int generate(const QString &folder, int count)
{
    QDir().mkpath(folder);
    std::mt19937 random(20261209);
    constexpr int kWidth = 2480, kHeight = 3508, kMargin = 230;
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(50); // 12 pt at 300 dpi
    for (int page = 1; page <= count; ++page) {
        QImage image(kWidth, kHeight, QImage::Format_Grayscale8);
        image.fill(Qt::white);
        QStringList words;
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            // A page laid slightly askew on the scanner's glass.
            const double angle = std::uniform_real_distribution<double>(-0.4, 0.4)(random);
            painter.translate(kWidth / 2, kHeight / 2);
            painter.rotate(angle);
            painter.translate(-kWidth / 2, -kHeight / 2);
            painter.setFont(font);
            painter.setPen(Qt::black);
            const QFontMetrics metrics(font);
            const int advance = metrics.horizontalAdvance(QStringLiteral(u"中"));
            const int perLine = (kWidth - 2 * kMargin) / advance;
            for (int y = kMargin + 50; y < kHeight - kMargin; y += 80) {
                QString line;
                for (;;) {
                    const int size = std::uniform_int_distribution<int>(0, 1)(random) ? 4 : 2;
                    if (line.size() + size > perLine)
                        break;
                    QString word;
                    for (int i = 0; i < size; ++i)
                        word += kCharacters[std::uniform_int_distribution<qsizetype>(
                            0, kCharacters.size() - 1)(random)];
                    line += word;
                    words.append(word);
                    // Now and then a comma or a full stop ends a clause, as in prose.
                    if (std::uniform_int_distribution<int>(0, 7)(random) == 0 &&
                        line.size() < perLine)
                        line += std::uniform_int_distribution<int>(0, 1)(random) ? u'，' : u'。';
                }
                painter.drawText(kMargin, y, line);
            }
        }
        // Scanner noise: grey specks over the page, and the print not quite black.
        std::normal_distribution<double> noise(0.0, 18.0);
        for (int y = 0; y < kHeight; ++y) {
            uchar *row = image.scanLine(y);
            for (int x = 0; x < kWidth; ++x)
                row[x] =
                    uchar(std::clamp(int(row[x]) * 200 / 255 + 40 + int(noise(random)), 0, 255));
        }
        image.setDotsPerMeterX(11811);
        image.setDotsPerMeterY(11811);
        const QString name = folder + QStringLiteral("/page%1").arg(page, 3, 10, QChar(u'0'));
        if (!image.save(name + QStringLiteral(".png")))
            return 2;
        QFile list(name + QStringLiteral(".words"));
        if (!list.open(QIODevice::WriteOnly))
            return 2;
        list.write(words.join(u'\n').toUtf8() + '\n');
    }
    return 0;
}

int run(const QStringList &args)
{
    textcache::TextCache cache(args.at(0));
    search::RunSnapshot snapshot;
    snapshot.folderPath = QFileInfo(args.at(3)).absolutePath();
    for (const QString &path : args.mid(3))
        snapshot.entries.append(search::RunEntry{QFileInfo(path).fileName(), true});
    const qint64 idle = rssKiB();
    QElapsedTimer clock;
    clock.start();
    search::SearchRun run(
        snapshot, [keyword = args.at(2)] { return keyword; }, [] {});
    run.setTextCache(&cache, args.at(1).toInt());
    run.run();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const std::unique_ptr<search::DocumentPrefetch> prefetch = run.takePrefetch();
    while (search::DocumentPrefetch::runningWorkers() > 0)
        QThread::msleep(10);
    std::printf("%.6f %lld %.0f %.0f\n", seconds, qint64(run.hits().size()),
                (peakKiB() - idle) / 1024.0, peakKiB() / 1024.0);
    return 0;
}

int accuracy(const QStringList &args)
{
    textcache::TextCache cache(args.at(0));
    search::FileSearchOptions options;
    options.textCache = &cache;
    search::FileSearch search(options);
    int total[5] = {}, found[5] = {};
    QStringList missed;
    const QDir folder(args.at(1));
    for (const QString &list :
         folder.entryList({QStringLiteral("*.words")}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(list));
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        const QString page = folder.filePath(QFileInfo(list).completeBaseName() + u".png");
        for (const QString &word : QString::fromUtf8(file.readAll()).split(u'\n')) {
            if (word.size() != 2 && word.size() != 4)
                continue;
            ++total[word.size()];
            const bool hit =
                search.search(page, word).outcome == search::FileSearchResult::Outcome::Hit;
            if (!search.stats().fromCache)
                return 3; // the run has not kept this page: no figure
            if (hit)
                ++found[word.size()];
            else if (missed.size() < 40)
                missed.append(word);
        }
    }
    if (total[2] == 0 || total[4] == 0)
        return 2;
    std::printf("%.4f %.4f %d %d %s\n", double(found[4]) / total[4], double(found[2]) / total[2],
                total[4], total[2], qPrintable(missed.join(u' ')));
    return 0;
}

// Milliseconds from the stop to the worker's end, the stop asked `afterMs` into the page.
qint64 stopAfter(const documents::Source &source, documents::Kind kind, int afterMs)
{
    {
        search::DocumentTextStream stream(documents::openAs(source, kind));
        QThread::msleep(afterMs);
    }
    QElapsedTimer clock;
    clock.start();
    while (search::DocumentTextStream::runningWorkers() > 0)
        QThread::usleep(500);
    return clock.elapsed();
}

int cancel(const QString &path)
{
    // An engine loaded first, as it is once a worker has read its first page.
    QImage warm(64, 32, QImage::Format_Grayscale8);
    warm.fill(Qt::white);
    ocr::recognise(warm);
    const documents::Source source(path);
    const documents::Kind kind = documents::recognise(source, source.head(64));
    // Early in the page the engine is finding its lines, later it reads their words.
    const qint64 early = stopAfter(source, kind, 500);
    const qint64 late = stopAfter(source, kind, 6000);
    std::printf("%lld %lld\n", early, late);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // The readers linked in, as the format module would hand them out.
    formats::setDefaultReaders(formats::linkedReaders());
    // Fonts need the GUI side of Qt; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == QStringLiteral("gen") && args.size() == 3)
        return generate(args.at(1), args.at(2).toInt());
    if (command == QStringLiteral("gen-large") && args.size() == 3)
        return generateLargeScans(args.at(1), kCharacters, args.at(2));
    if (command == QStringLiteral("run") && args.size() >= 5)
        return run(args.mid(1));
    if (command == QStringLiteral("accuracy") && args.size() == 3)
        return accuracy(args.mid(1));
    if (command == QStringLiteral("gen-photos") && args.size() == 2)
        return generatePhotos(args.at(1), kCharacters);
    if (command == QStringLiteral("photos") && args.size() == 2)
        return photoAccuracy(args.at(1));
    if (command == QStringLiteral("listed") && args.size() == 2)
        return listedAccuracy(args.at(1));
    if (command == QStringLiteral("read") && args.size() >= 2)
        return readPictures(args.mid(1));
    if (command == QStringLiteral("cancel") && args.size() == 2)
        return cancel(args.at(1));
    std::fprintf(stderr, "usage: see the head of bench_ocr.cpp\n");
    return 2;
}
