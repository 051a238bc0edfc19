#pragma once

#include "platform/core/program.h"
#include "platform/core/work_monitor.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace textcache {
class TextCache;
}

namespace formats {
class Readers;
}

namespace search {

class FileSearch;
struct FileSearchResult;
class Keyword;

// Extracts the documents among a run's marked files into the text cache on worker threads (one
// per spare core), so that the run, searching one file, finds the text of the next documents
// already kept and searches it at the speed of text.
//
// Workers take the files after the one the run has reached, in list order, each file by one
// worker; a file the run has reached is left to the run. When no file ahead is left, they go
// back over the files the run searched itself and keep the text of those whose text is not kept
// yet (a document the run decided from its raw bytes, say), so that the next search of the same
// files, with whatever keyword, needs no extraction. That goes on after the run has ended, until
// every file is done or the prefetch is destroyed.
//
// A worker holds the text of one document at a time, at most what the cache keeps of one
// (TextCache::kMaxTextChars); everything else goes to the cache. Destroying the prefetch stops the
// workers without waiting for them: each ends at its next piece of text or page, and the
// process's thread registry (platform::OwnedThread) joins it then, at the latest before the
// process ends. The cache must outlive them (the program's is never destroyed).
class DocumentPrefetch
{
public:
    // A document read in less than this (milliseconds) while the run is on is kept once the
    // workers have nothing ahead (FileSearchOptions::keepLaterBelowMs): writing its text would
    // add a good share to its search, reading it again later costs the run nothing.
    static constexpr int kKeepLaterBelowMs = 3;
    // `keyword`: the run's, for which the documents ahead are searched (none: only extracted).
    // `readers` (null: formats::defaultReaders()) read the documents. `keepLaterBelowMs`: the
    // documents searched ahead that are read quicker are kept only once nothing is left ahead
    // (FileSearchOptions::keepLaterBelowMs; negative: each as it is read).
    DocumentPrefetch(textcache::TextCache &cache, QStringList paths, int workers,
                     std::shared_ptr<const Keyword> keyword = {},
                     const formats::Readers *readers = nullptr,
                     int keepLaterBelowMs = kKeepLaterBelowMs);
    ~DocumentPrefetch();
    DocumentPrefetch(const DocumentPrefetch &) = delete;
    DocumentPrefetch &operator=(const DocumentPrefetch &) = delete;

    // Workers for this machine: one per core besides the one the run uses (none on one core).
    static int spareCores();

    // The run comes to paths[index] and searches it next. True when a worker is extracting that
    // file right now: the run then waits for it (waitUntilDone) and finds its text kept.
    bool reached(int index);
    // The run has searched paths[index] and left nothing for a worker to keep (plain text, an
    // archive whose members it stored), so none goes back to it.
    void nothingToKeep(int index);
    // The run is over (finished or cancelled): the files it searched are the workers' now.
    void runEnded();
    // Until no worker extracts paths[index] or `monitor` is cancelled (polled all along):
    // meanwhile the calling thread extracts free files after it into the cache, as a worker
    // would.
    void waitFor(int index, platform::WorkMonitor &monitor);
    // The answer a worker found for paths[index] when it searched it for `keyword`; nothing when
    // it did not, or searched it for another keyword (the run then searches the file itself).
    std::optional<FileSearchResult> takeResult(int index, const Keyword &keyword);
    // The keyword the run searches the next files for, should it change during the run.
    void setKeyword(std::shared_ptr<const Keyword> keyword);
    // How far the worker reading paths[index] has come through it, in thousandths
    // (documents::ProgressOut); 0 when none is reading it or it has no pages. Only the file the
    // run last reached is followed.
    int progressOf(int index) const;
    // Waits at most `timeoutMs` for the worker extracting paths[index]; true once none is.
    bool waitUntilDone(int index, int timeoutMs);

    // Asks the workers to stop and waits until they have ended (each at most the page it is in).
    void stopAndWait();

    // Workers still running, those of destroyed prefetches included (for tests).
    static int runningWorkers();

private:
    // The keyword as one thread last read it, with its number.
    struct KnownKeyword
    {
        std::shared_ptr<const Keyword> word;
        int generation = -1;
    };
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::vector<platform::OwnedThread> m_workers;
    std::unique_ptr<FileSearch> m_search; // the run's own, for the files it takes while it waits
    // The run's keyword and its number, as the run last set it (only the run's thread uses them).
    std::shared_ptr<const Keyword> m_runKeyword;
    int m_runGeneration = 0;
    KnownKeyword m_known; // as the run's thread last read it for a file it takes while it waits
};

} // namespace search
