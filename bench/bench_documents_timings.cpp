// The timed commands of bench_documents: the search of documents as the run makes it (alone, with
// the text cache, with workers), the text exported for timing as plain files, and the memory of
// an extraction or a search.

#include "bench_documents.h"

#include "platform/core/field_cutter.h"
#include "search/cache/text_cache.h"
#include "search/core/document_text_stream.h"
#include "search/core/file_search.h"
#include "search/core/search_run.h"
#include "search/documents/registry.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <memory>

namespace benchdocs {

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

bool streamHolds(const QString &path, const QString &keyword)
{
    KeywordScan scan(keyword);
    const documents::Kind kind = kindOf(path);
    if (kind == documents::Kind::NotDocument)
        return false;
    search::DocumentTextStream text(documents::openAs(path, kind));
    QString piece;
    for (;;) {
        const auto status = text.next(piece, 16);
        if (status == search::DocumentTextStream::Status::End)
            return false;
        if (status == search::DocumentTextStream::Status::Text && !scan.feed(piece))
            return true;
    }
}

} // namespace

int searchFiles(const QStringList &args)
{
    const bool stream = args.at(0) == QStringLiteral("search-stream");
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

int searchCached(const QStringList &args)
{
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

int searchRun(const QStringList &args)
{
    const bool again = args.at(0) == QStringLiteral("run-again");
    textcache::TextCache cache(args.at(1));
    const QStringList keywords = again ? args.mid(3, 2) : args.mid(3, 1);
    const QStringList files = args.mid(3 + keywords.size());
    search::RunSnapshot snapshot;
    snapshot.folderPath = QFileInfo(files.first()).absolutePath();
    for (const QString &path : files)
        snapshot.entries.append(search::RunEntry{QFileInfo(path).fileName(), true});
    for (const QString &keyword : keywords) {
        QElapsedTimer clock;
        clock.start();
        search::SearchRun run(
            snapshot, [keyword] { return keyword; }, [] {});
        run.setTextCache(&cache, args.at(2).toInt());
        run.run();
        if (keyword == keywords.last()) {
            std::printf("%.3f %lld\n", clock.nsecsElapsed() / 1e9, qint64(run.hits().size()));
            std::fflush(stdout);
        }
        // As in the program, which goes on running: the workers finish keeping the text of
        // the documents the run decided by their bytes.
        const std::unique_ptr<search::DocumentPrefetch> prefetch = run.takePrefetch();
        while (search::DocumentPrefetch::runningWorkers() > 0)
            QThread::msleep(10);
    }
    return 0;
}

int exportText(const QStringList &args)
{
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

int extractRss(const QStringList &args)
{
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

int searchRss(const QStringList &args)
{
    search::FileSearch search;
    const qint64 idle = peakRssKiB();
    QElapsedTimer timer;
    timer.start();
    const search::FileSearchResult result = search.search(args.at(2), args.at(1));
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const char *outcomes[] = {"hit", "no-hit", "unreadable", "stopped", "archive"};
    // An archive named as a whole is the member without a path.
    QString reason = search::readFailureReason(result.status);
    if (result.outcome == search::FileSearchResult::Outcome::Archive) {
        reason = QStringLiteral("-");
        for (const search::MemberOutcome &member : result.members) {
            if (member.path.isEmpty())
                reason = search::readFailureReason(member.status);
        }
    }
    std::printf("%.3f %lld %lld %s %s\n", seconds, idle, peakRssKiB(),
                outcomes[int(result.outcome)], qPrintable(reason));
    return 0;
}

} // namespace benchdocs
