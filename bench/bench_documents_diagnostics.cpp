// The diagnostic commands of bench_documents: what a reader gives for a file, which words of a
// table the search finds, and the PDF page texts against poppler's own.

#include "bench_documents.h"

#include "search/core/file_search.h"
#include "search/documents/pdf/pdf_page_text.h"
#include "search/documents/placed_text.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>

#include <poppler-qt6.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace benchdocs {

int printText(const QStringList &args)
{
    const documents::Outcome outcome =
        documents::extractText(args.at(1), kindOf(args.at(1)), [](QStringView piece) {
            std::fputs(piece.toString().toUtf8().constData(), stdout);
            return true;
        });
    std::printf("[outcome %d]\n", int(outcome));
    return 0;
}

// The recall command: the words of WORDS.tsv found by the run's search, per extension.
int recallWords(const QStringList &args)
{
    const QString folder = args.at(1);
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
    // The words are the column headed "words" or "keyword" (tables of either form), else the
    // second.
    const QStringList heads =
        QString::fromUtf8(table.readLine()).trimmed().split(QLatin1Char('\t'));
    qsizetype column =
        std::max(heads.indexOf(QStringLiteral("words")), heads.indexOf(QStringLiteral("keyword")));
    if (column < 0)
        column = 1;
    while (!table.atEnd()) {
        const QString line = QString::fromUtf8(table.readLine()).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList columns = line.split(QLatin1Char('\t'));
        if (columns.size() <= column || columns.at(column) == QStringLiteral("-"))
            continue;
        const QString path = QDir(folder).filePath(columns.at(0));
        Tally &tally = tallies[QFileInfo(path).suffix().toLower()];
        QStringList missed;
        for (const QString &word : columns.at(column).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            ++tally.words;
            const search::FileSearchResult result = search.search(path, word);
            // A mail's attachment or an archive's member that holds the word counts as well.
            const bool inMember = std::any_of(result.members.cbegin(), result.members.cend(),
                                              [](const search::MemberOutcome &m) { return m.hit; });
            if (result.outcome == search::FileSearchResult::Outcome::Hit || inMember)
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

int comparePdfPages(const QStringList &args)
{
    Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant());
    bool allSame = true;
    qint64 oursNs = 0;
    qint64 popplerNs = 0;
    for (const QString &path : args.mid(1)) {
        QElapsedTimer clock;
        clock.start();
        QStringList ours;
        {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return 2;
            documents::PdfPageText texts(file);
            for (int i = 0; i < texts.pages(); ++i)
                ours.append(texts.hasPage(i) ? texts.text(i) : QStringLiteral("<none>"));
        }
        oursNs += clock.nsecsElapsed();
        clock.restart();
        QStringList theirs;
        {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return 2;
            const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(&file);
            for (int i = 0; document && !document->isLocked() && i < document->numPages(); ++i) {
                const std::unique_ptr<Poppler::Page> page = document->page(i);
                // As the extraction reads placed glyphs: without blanks between CJK characters.
                theirs.append(page ? documents::placedText(page->text(QRectF()))
                                   : QStringLiteral("<none>"));
            }
        }
        popplerNs += clock.nsecsElapsed();
        qsizetype differs = -1;
        for (qsizetype i = 0; i < std::max(ours.size(), theirs.size()) && differs < 0; ++i) {
            if (ours.value(i) != theirs.value(i))
                differs = i;
        }
        if (differs >= 0) {
            allSame = false;
            std::printf("%s: page %lld differs\n", qPrintable(path), qint64(differs) + 1);
        } else {
            std::printf("%s: same, %lld pages\n", qPrintable(path), qint64(ours.size()));
        }
    }
    std::printf("%.3f s laid out here, %.3f s page by page through poppler\n", oursNs / 1e9,
                popplerNs / 1e9);
    return allSame ? 0 : 1;
}

} // namespace benchdocs
