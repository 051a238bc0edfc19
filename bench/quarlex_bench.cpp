// Benchmarks of the search core, driven by bench/run.sh. Commands:
//
//   gen-text FILE MIB SEED [gbk|utf8 [SHAPE]]  text without either keyword, of SHAPE (see Shape)
//   gen-hit-first FILE MIB SEED    GBK text with the keyword in the first kilobyte
//   gen-many DIR COUNT KIB SEED [SHAPE [HITS [RANGE]]]  COUNT GBK files; HITS (20) hold the
//                                  keyword, half of them split by CR LF; RANGE the characters
//                                  of the text (see bench/gbk_ranges.h)
//   keyword-bytes [common]         the keyword (or the common keyword) in GBK, for grep
//   search KEYWORD FILE...         prints the files that hold it, like grep -l
//   timed KEYWORD PATH             seconds a search run takes and its number of hits; PATH is a
//                                  file or a folder standing for its files (listed before the
//                                  clock starts: the program's file list holds the names already)
//   first-hit FILE                 milliseconds to answer a hit in the first KB
//   rss FILE                       peak resident memory above idle while searching
//   yield-cost                     cost of an event-loop pass with nothing pending
//   run DIR                        the search run with yields against the plain search
//   stall FILE                     longest delay of a 10 ms timer during a run

#include "bench_support.h"
#include "gbk_ranges.h"

#include "platform/core/event_yield.h"
#include "platform/core/program.h"
#include "search/core/entry_list.h"
#include "search/core/file_search.h"
#include "search/core/search_run.h"
#include "search/formats/format_module.h"
#include "search/formats/linked/linked_readers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

#include <sys/resource.h>

#include <cstdio>
#include <optional>
#include <random>

namespace {

using bench::Range;

const QString kKeyword = QStringLiteral(u"关键字");
// A keyword whose characters are everywhere in the common shape, but never together.
const QString kCommonKeyword = QStringLiteral(u"数据的");

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

// The shapes of text the corpora come in (all GBK with CR LF line ends, UTF-8 by transcoding):
// - prose: lines of 20-60 characters, full-width punctuation, no ASCII comma (one field a line);
// - csv: lines of 3-8 ASCII-comma-separated fields of 2-12 characters;
// - quoted: the same, a third of the fields between double quotes, some of those holding commas,
//   line ends and doubled quotes;
// - long: lines of 256 KiB to 2 MiB without any delimiter;
// - common: csv whose fields hold 的 and 数据 often, but never the common keyword 数据的.
enum class Shape { Prose, Csv, Quoted, Long, Common };

std::optional<Shape> shapeNamed(const QString &name)
{
    static const QHash<QString, Shape> shapes = {{QStringLiteral("prose"), Shape::Prose},
                                                 {QStringLiteral("csv"), Shape::Csv},
                                                 {QStringLiteral("quoted"), Shape::Quoted},
                                                 {QStringLiteral("long"), Shape::Long},
                                                 {QStringLiteral("common"), Shape::Common}};
    const auto found = shapes.constFind(name);
    return found == shapes.cend() ? std::nullopt : std::optional<Shape>(*found);
}

// Made-up text of one shape. The characters of both keywords are left out of the random ones, so
// neither keyword ever occurs by chance.
class TextMaker
{
public:
    explicit TextMaker(quint32 seed, Shape shape = Shape::Prose, Range range = Range::Gb2312Level1)
        : m_random(seed), m_shape(shape)
    {
        const QByteArray avoid = gbk(kKeyword + kCommonKeyword);
        for (const QByteArray &pair : bench::pairsOf(range)) {
            bool avoided = false;
            for (qsizetype i = 0; i + 1 < avoid.size(); i += 2)
                avoided = avoided || avoid.mid(i, 2) == pair;
            if (!avoided)
                m_pairs.append(pair);
        }
    }

    QByteArray line()
    {
        switch (m_shape) {
        case Shape::Prose:
            return proseLine();
        case Shape::Long:
            return longLine();
        case Shape::Csv:
        case Shape::Quoted:
        case Shape::Common:
            break;
        }
        QByteArray line;
        const int fields = 3 + int(m_random() % 6);
        for (int i = 0; i < fields; ++i) {
            if (i)
                line += ',';
            line += field();
        }
        return line + "\r\n";
    }

    quint32 next() { return m_random(); }

private:
    QByteArray character() { return m_pairs.at(m_random() % m_pairs.size()); }

    QByteArray proseLine()
    {
        QByteArray line;
        const int chars = 20 + int(m_random() % 40);
        for (int i = 0; i < chars; ++i) {
            const int kind = int(m_random() % 20);
            if (kind == 0)
                line += "\xA3\xAC"; // ，
            else if (kind == 1)
                line += "\xA1\xA3"; // 。
            else if (kind == 2)
                line += QByteArray::number(int(m_random() % 10000));
            else if (kind == 3)
                line += " data ";
            else
                line += character();
        }
        return line + "\r\n";
    }

    QByteArray longLine()
    {
        QByteArray line;
        const qsizetype size = (256 << 10) + qsizetype(m_random() % (1792 << 10));
        while (line.size() < size)
            line += m_random() % 16 ? character() : QByteArray::number(int(m_random() % 1000));
        return line + "\r\n";
    }

    QByteArray field()
    {
        QByteArray text;
        const int chars = 2 + int(m_random() % 11);
        const bool quoted = m_shape == Shape::Quoted && m_random() % 3 == 0;
        bool afterData = false;
        for (int i = 0; i < chars; ++i) {
            const int kind = int(m_random() % 16);
            if (m_shape == Shape::Common && kind < 3) {
                // 的 never first in a field (fields join) nor right after 数据.
                if (kind == 0 && i > 0 && !afterData) {
                    text += "\xB5\xC4"; // 的
                    continue;
                }
                if (kind == 1) {
                    text += "\xCA\xFD\xBE\xDD"; // 数据
                    afterData = true;
                    continue;
                }
            }
            afterData = false;
            if (quoted && kind == 0)
                text += m_random() % 2 ? "," : (m_random() % 2 ? "\r\n" : "\"\"");
            else if (kind == 1)
                text += QByteArray::number(int(m_random() % 1000));
            else if (kind == 2 && m_shape != Shape::Common)
                text += "ab";
            else
                text += character();
        }
        return quoted ? '"' + text + '"' : text;
    }

    std::mt19937 m_random;
    Shape m_shape;
    QList<QByteArray> m_pairs;
};

// Writes `size` bytes of made-up text; `utf8` transcodes each line from GBK.
bool writeText(const QString &path, qint64 size, quint32 seed, const QByteArray &early,
               bool utf8 = false, Shape shape = Shape::Prose)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    TextMaker maker(seed, shape);
    QByteArray block;
    qint64 written = 0;
    if (!early.isEmpty())
        block = maker.line() + early + maker.line();
    while (written < size) {
        while (block.size() < 1024 * 1024)
            block +=
                utf8 ? QString(QStringDecoder("GBK").decode(maker.line())).toUtf8() : maker.line();
        const qint64 n = std::min<qint64>(block.size(), size - written);
        if (file.write(block.constData(), n) != n)
            return false;
        written += n;
        block.clear();
    }
    return true;
}

bool writeMany(const QString &folder, int count, int kib, quint32 seed, Shape shape, int hits,
               Range range)
{
    QDir().mkpath(folder);
    TextMaker maker(seed, shape, range);
    const QByteArray whole = gbk(kKeyword);
    const QByteArray split = gbk(QStringLiteral(u"关键")) + "\r\n" + gbk(QStringLiteral(u"字"));
    for (int i = 0; i < count; ++i) {
        QByteArray bytes;
        // Every (count / hits)th file holds the keyword; every other one of those split by a line
        // end.
        const int every = std::max(1, count / std::max(1, hits));
        const bool hit = i % every == every / 2;
        const qint64 at = hit ? qint64(maker.next() % quint32(kib * 1024 - 200)) : -1;
        while (bytes.size() < kib * 1024) {
            if (at >= 0 && bytes.size() >= at && !bytes.contains(whole) && !bytes.contains(split))
                bytes += (i / every) % 2 ? split : whole;
            bytes += maker.line();
        }
        bytes.truncate(kib * 1024);
        QFile file(QStringLiteral("%1/%2.txt").arg(folder).arg(i, 6, 10, QChar(u'0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

qint64 maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int usage()
{
    std::fprintf(stderr, "see the comment at the top of bench/quarlex_bench.cpp\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // As the program does: the time zone read once, not at every time conversion (libarchive
    // converts every ZIP member's time).
    platform::pinTimeZone();
    QCoreApplication app(argc, argv);
    // The readers linked in, as the format module would hand them out.
    formats::setDefaultReaders(formats::linkedReaders());
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.at(0);

    if (command == QStringLiteral("gen-text") && args.size() >= 4 && args.size() <= 6) {
        const bool utf8 = args.value(4) == u"utf8";
        const std::optional<Shape> shape = shapeNamed(args.value(5, QStringLiteral("prose")));
        if (!shape)
            return usage();
        return writeText(args.at(1), args.at(2).toLongLong() * 1024 * 1024, args.at(3).toUInt(),
                         QByteArray(), utf8, *shape)
                   ? 0
                   : 1;
    }
    if (command == QStringLiteral("gen-hit-first") && args.size() == 4)
        return writeText(args.at(1), args.at(2).toLongLong() * 1024 * 1024, args.at(3).toUInt(),
                         gbk(kKeyword))
                   ? 0
                   : 1;
    if (command == QStringLiteral("gen-many") && args.size() >= 5 && args.size() <= 8) {
        const std::optional<Shape> shape = shapeNamed(args.value(5, QStringLiteral("prose")));
        const std::optional<Range> range =
            bench::rangeNamed(args.value(7, QStringLiteral("gb2312-1")));
        if (!shape || !range)
            return usage();
        return writeMany(args.at(1), args.at(2).toInt(), args.at(3).toInt(), args.at(4).toUInt(),
                         *shape, args.value(6, QStringLiteral("20")).toInt(), *range)
                   ? 0
                   : 1;
    }
    if (command == QStringLiteral("keyword-bytes")) {
        const QByteArray bytes = gbk(args.value(1) == u"common" ? kCommonKeyword : kKeyword);
        std::fwrite(bytes.constData(), 1, bytes.size(), stdout);
        return 0;
    }
    if (command == QStringLiteral("search") && args.size() >= 3) {
        search::FileSearch search;
        for (const QString &path : args.mid(2)) {
            if (search.search(path, args.at(1)).outcome == search::FileSearchResult::Outcome::Hit)
                std::printf("%s\n", qPrintable(path));
        }
        return 0;
    }
    if (command == QStringLiteral("timed") && args.size() == 3) {
        // The run the program does: files read ahead, an event-loop pass between files.
        const QString keyword = args.at(1);
        const bench::FileNames list = QFileInfo(args.at(2)).isDir()
                                          ? bench::FileNames::ofFolder(args.at(2))
                                          : bench::FileNames::ofFile(args.at(2));
        QElapsedTimer clock;
        clock.start();
        search::SearchRun run(
            search::RunSnapshot::take(list), [&keyword] { return keyword; },
            [] { platform::processPendingEvents(); });
        run.run();
        std::printf("%.4f %d\n", double(clock.nsecsElapsed()) / 1e9,
                    int(run.reportText().count(QStringLiteral("..."))));
        return 0;
    }
    if (command == QStringLiteral("first-hit") && args.size() == 2) {
        QElapsedTimer clock;
        clock.start();
        search::FileSearch search;
        const auto result = search.search(args.at(1), kKeyword);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        std::printf("%.3f %d %lld\n", ms, int(result.outcome), search.stats().bytesRead);
        return result.outcome == search::FileSearchResult::Outcome::Hit ? 0 : 1;
    }
    if (command == QStringLiteral("rss") && args.size() == 2) {
        // Idle: the program with its libraries loaded and the code page converter made.
        search::FileSearch warm;
        QFile empty(QDir::temp().filePath(QStringLiteral("quarlex-bench-empty")));
        if (empty.open(QIODevice::WriteOnly))
            empty.close();
        warm.search(empty.fileName(), kKeyword);
        QFile::remove(empty.fileName());
        const qint64 idle = maxRssKiB();
        search::FileSearch search;
        search.search(args.at(1), QStringLiteral(u"没有的词"));
        std::printf("%lld %lld %lld %lld\n", idle, maxRssKiB(), search.stats().bytesRead,
                    qint64(search.stats().peakBufferBytes));
        return 0;
    }
    if (command == QStringLiteral("yield-cost")) {
        constexpr int kCalls = 2000000;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kCalls / 10; ++i)
            platform::processPendingEvents();
        const double pass = double(clock.nsecsElapsed()) / (kCalls / 10);
        // What the search run pays between two yields: one clock read against its interval.
        QElapsedTimer sinceYield;
        sinceYield.start();
        clock.restart();
        for (int i = 0; i < kCalls; ++i) {
            if (sinceYield.elapsed() >= 16) {
                platform::processPendingEvents();
                sinceYield.restart();
            }
        }
        const double maybe = double(clock.nsecsElapsed()) / kCalls;
        std::printf("%.1f %.1f\n", pass, maybe);
        return 0;
    }
    if (command == QStringLiteral("run") && args.size() == 2) {
        const bench::FileNames list = bench::FileNames::ofFolder(args.at(1));
        QElapsedTimer clock;
        clock.start();
        search::FileSearch plain;
        int plainHits = 0;
        for (int i = 0; i < list.entryCount(); ++i)
            plainHits += plain.search(args.at(1) + u'/' + list.entryName(i), kKeyword).outcome ==
                         search::FileSearchResult::Outcome::Hit;
        const double plainMs = double(clock.nsecsElapsed()) / 1e6;
        clock.restart();
        search::SearchRun run(
            search::RunSnapshot::take(list), [] { return kKeyword; },
            [] { platform::processPendingEvents(); });
        run.run();
        const double runMs = double(clock.nsecsElapsed()) / 1e6;
        std::printf("%.1f %.1f %d %d\n", plainMs, runMs, plainHits,
                    int(run.reportText().count(QStringLiteral("..."))));
        return 0;
    }
    if (command == QStringLiteral("stall") && args.size() == 2) {
        const bench::FileNames list = bench::FileNames::ofFile(args.at(1));
        const bench::StallMeter stall(&app);
        QElapsedTimer clock;
        clock.start();
        search::SearchRun run(
            search::RunSnapshot::take(list), [] { return QStringLiteral(u"没有的词"); },
            [] { platform::processPendingEvents(); });
        run.run();
        std::printf("%lld %.1f\n", stall.longestMs(), double(clock.nsecsElapsed()) / 1e6);
        return 0;
    }
    return usage();
}
