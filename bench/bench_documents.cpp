// Benchmarks of the document text library, driven by bench/run.sh. Commands:
//
//   search KEYWORD FILE...         prints the files that hold KEYWORD, like grep -l: the search the
//                                  run does (search::FileSearch, one for all files)
//   search-stream KEYWORD FILE...  the document text only, through DocumentTextStream (the worker
//                                  thread)
//   search-cached CACHE KEYWORD FILE...
//                                  as search, with the text cache in the folder CACHE (filled by
//                                  the first run, served from by the next)
//   run CACHE WORKERS KEYWORD FILE...
//                                  a search run over the files (one folder, all marked) with the
//                                  text cache in CACHE and WORKERS threads extracting ahead;
//                                  prints the seconds from start to report and the hits, then
//                                  waits for the workers to finish
//   export DIR FILE...             writes each document's text as DIR/N.txt in UTF-8, for timing
//                                  the same text searched as plain files
//   rss FILE                       idle and peak resident memory (KiB) around extracting FILE
//   text FILE                      the extracted text of FILE and its outcome, to see what a
//                                  reader gives
//   recall FOLDER                  for each row of FOLDER/WORDS.tsv (file, then words separated
//                                  by '|', '-' for none) whether the run's search finds each word
//                                  in FOLDER/file; prints the missed words per file, then the
//                                  totals per file extension
//
// The search text is what the search run reads: the extracted text cut into fields by the same
// rules as every file, fields joined with nothing between them.

#include "platform/core/field_cutter.h"
#include "platform/core/program.h"
#include "search/cache/text_cache.h"
#include "search/core/file_search.h"
#include "search/core/search_run.h"
#include "search/documents/document_text.h"
#include "search/documents/document_text_stream.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>

namespace {

// Looks for the keyword in the search text as pieces of extracted text come in, holding only the
// last keyword-length characters between pieces.
class KeywordScan
{
public:
    explicit KeywordScan(QString keyword) : m_keyword(std::move(keyword)) {}

    // False once the keyword was found (the caller stops reading).
    bool feed(QStringView piece)
    {
        const char16_t *p = piece.utf16();
        const char16_t *end = p + piece.size();
        while (p < end) {
            m_cutter.cut(p, end, *this);
            m_cutter.skipPendingLineFeed(p, end);
        }
        // The fields of the whole piece are searched at once, with the end of the previous
        // piece's fields in front.
        if (m_window.indexOf(m_keyword) >= 0)
            m_found = true;
        const qsizetype keep = m_keyword.size() - 1;
        if (m_window.size() > keep)
            m_window.remove(0, m_window.size() - keep);
        return !m_found;
    }
    bool found() const { return m_found; }

    // Field content from the cutter.
    void append(const char16_t *p, qsizetype n) { m_window.append(QStringView(p, n)); }

private:
    QString m_keyword;
    QString m_window;
    platform::FieldCutter<char16_t> m_cutter;
    bool m_found = false;
};

documents::Kind kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return documents::Kind::NotDocument;
    return documents::recognise(path, file.read(16));
}

bool streamHolds(const QString &path, const QString &keyword)
{
    KeywordScan scan(keyword);
    const documents::Kind kind = kindOf(path);
    if (kind == documents::Kind::NotDocument)
        return false;
    documents::DocumentTextStream text(path, kind);
    QString piece;
    for (;;) {
        const auto status = text.next(piece, 16);
        if (status == documents::DocumentTextStream::Status::End)
            return false;
        if (status == documents::DocumentTextStream::Status::Text && !scan.feed(piece))
            return true;
    }
}

// The recall command: the words of WORDS.tsv found by the run's search, per extension.
int recall(const QString &folder)
{
    QFile table(QDir(folder).filePath(QStringLiteral("WORDS.tsv")));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "no WORDS.tsv in %s\n", qPrintable(folder));
        return 2;
    }
    struct Tally
    {
        int words = 0;
        int found = 0;
    };
    QMap<QString, Tally> tallies;
    search::FileSearch search;
    bool header = true;
    while (!table.atEnd()) {
        const QString line = QString::fromUtf8(table.readLine()).trimmed();
        if (header || line.isEmpty()) {
            header = false;
            continue;
        }
        const QStringList columns = line.split(QLatin1Char('\t'));
        if (columns.size() < 2 || columns.at(1) == QStringLiteral("-"))
            continue;
        const QString path = QDir(folder).filePath(columns.at(0));
        Tally &tally = tallies[QFileInfo(path).suffix().toLower()];
        QStringList missed;
        for (const QString &word : columns.at(1).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            ++tally.words;
            if (search.search(path, word).outcome == search::FileSearchResult::Outcome::Hit)
                ++tally.found;
            else
                missed.append(word);
        }
        if (!missed.isEmpty())
            std::printf("missed %s: %s\n", qPrintable(columns.at(0)),
                        qPrintable(missed.join(QLatin1Char('|'))));
    }
    Tally total;
    for (auto it = tallies.cbegin(); it != tallies.cend(); ++it) {
        std::printf("%s %d/%d\n", qPrintable(it.key()), it->found, it->words);
        total.words += it->words;
        total.found += it->found;
    }
    std::printf("total %d/%d (%.1f %%)\n", total.found, total.words,
                total.words > 0 ? 100.0 * total.found / total.words : 0.0);
    return 0;
}

qint64 maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    platform::pinTimeZone();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == QStringLiteral("search-cached") && args.size() >= 4) {
        textcache::TextCache cache(args.at(1));
        search::FileSearch search;
        search.setTextCache(&cache);
        int found = 0;
        for (const QString &path : args.mid(3)) {
            if (search.search(path, args.at(2)).outcome == search::FileSearchResult::Outcome::Hit) {
                std::printf("%s\n", qPrintable(path));
                ++found;
            }
        }
        return found > 0 ? 0 : 1;
    }
    if (command == QStringLiteral("run") && args.size() >= 5) {
        textcache::TextCache cache(args.at(1));
        search::RunSnapshot snapshot;
        snapshot.folderPath = QFileInfo(args.at(4)).absolutePath();
        for (const QString &path : args.mid(4))
            snapshot.entries.append(search::RunEntry{QFileInfo(path).fileName(), true});
        QElapsedTimer clock;
        clock.start();
        search::SearchRun run(
            snapshot, [keyword = args.at(3)] { return keyword; }, [] {});
        run.setTextCache(&cache, args.at(2).toInt());
        run.run();
        std::printf("%.3f %lld\n", clock.nsecsElapsed() / 1e9, qint64(run.hits().size()));
        std::fflush(stdout);
        // As in the program, which goes on running: the workers finish keeping the text of the
        // documents the run decided by their bytes.
        const std::unique_ptr<search::DocumentPrefetch> prefetch = run.takePrefetch();
        while (search::DocumentPrefetch::runningWorkers() > 0)
            QThread::msleep(10);
        return 0;
    }
    if (command == QStringLiteral("export") && args.size() >= 3) {
        int n = 0;
        for (const QString &path : args.mid(2)) {
            QFile out(args.at(1) + u'/' + QString::number(++n) + QStringLiteral(".txt"));
            if (!out.open(QIODevice::WriteOnly))
                return 2;
            documents::extractText(path, kindOf(path), [&](QStringView piece) {
                out.write(piece.toUtf8());
                return true;
            });
        }
        return 0;
    }
    if ((command == QStringLiteral("search") || command == QStringLiteral("search-stream")) &&
        args.size() >= 3) {
        const bool stream = command == QStringLiteral("search-stream");
        int found = 0;
        search::FileSearch search;
        for (const QString &path : args.mid(2)) {
            const bool holds = stream ? streamHolds(path, args.at(1))
                                      : search.search(path, args.at(1)).outcome ==
                                            search::FileSearchResult::Outcome::Hit;
            if (holds) {
                std::printf("%s\n", qPrintable(path));
                ++found;
            }
        }
        return found > 0 ? 0 : 1;
    }
    if (command == QStringLiteral("rss") && args.size() == 2) {
        const qint64 idle = maxRssKiB();
        qint64 characters = 0;
        const documents::Outcome outcome =
            documents::extractText(args.at(1), kindOf(args.at(1)), [&](QStringView piece) {
                characters += piece.size();
                return true;
            });
        std::printf("%lld %lld %lld %d\n", idle, maxRssKiB(), characters, int(outcome));
        return 0;
    }
    if (command == QStringLiteral("text") && args.size() == 2) {
        const documents::Outcome outcome =
            documents::extractText(args.at(1), kindOf(args.at(1)), [](QStringView piece) {
                std::fputs(piece.toString().toUtf8().constData(), stdout);
                return true;
            });
        std::printf("[outcome %d]\n", int(outcome));
        return 0;
    }
    if (command == QStringLiteral("recall") && args.size() == 2)
        return recall(args.at(1));
    std::fprintf(stderr, "see the comment at the top of bench/bench_documents.cpp\n");
    return 2;
}
