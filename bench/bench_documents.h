#pragma once

// What the commands of bench_documents share: how a file is recognised, the process's resident
// memory, and the commands themselves, one function each (bench_documents.cpp names them). Each
// command is given the whole argument list, its own name first.

#include "search/core/search_text.h"
#include "search/documents/document_text.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sys/resource.h>

namespace benchdocs {

// The document kind of `path` by its first bytes, as the search recognises it.
inline documents::Kind kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return documents::Kind::NotDocument;
    return documents::recognise(path, file.read(search::kDocumentHeadSize));
}

// The peak resident memory of the process so far, in KiB, as getrusage tells it.
inline qint64 maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// VmHWM, the peak resident memory so far, in KiB.
inline qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return maxRssKiB();
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return maxRssKiB();
}

// Timings and memory (bench_documents_timings.cpp).
int searchFiles(const QStringList &args);  // search, search-stream
int searchCached(const QStringList &args); // search-cached
int searchRun(const QStringList &args);    // run, run-again
int exportText(const QStringList &args);   // export
int extractRss(const QStringList &args);   // rss
int searchRss(const QStringList &args);    // search-rss

// Diagnostics of what the readers give (bench_documents_diagnostics.cpp).
int printText(const QStringList &args);       // text
int recallWords(const QStringList &args);     // recall
int comparePdfPages(const QStringList &args); // pdf-pages

// Corpus makers (bench_documents_corpora.cpp, bench_documents_bombs.cpp).
int generateOfd(const QStringList &args);    // gen-ofd
int makeRtf(const QStringList &args);        // make-rtf
int makeRtfHex(const QStringList &args);     // make-rtf-hex
int writeBomb(const QStringList &args);      // bomb
int writeNestedZip(const QStringList &args); // nested-zip

} // namespace benchdocs
