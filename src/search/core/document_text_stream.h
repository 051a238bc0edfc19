#pragma once

#include "search/documents/document.h"

#include <memory>

namespace platform {
class OwnedThread;
}

namespace search {

// A document's extraction on a worker thread, so that one long library call (a heavy PDF page)
// never blocks the caller, which keeps its event loop running between calls to next().
//
// The worker runs ahead of the caller by at most kMaxQueued characters, then waits until the
// caller takes text. Destroying the stream asks the worker to stop and returns at once, also in
// the middle of a page; the worker finishes that page on its own, then frees what it holds. It is
// a thread of the process's registry (platform::OwnedThread), which joins it then, and at the
// latest before the process ends (platform::endThreads).
class DocumentTextStream
{
public:
    static constexpr qsizetype kMaxQueued = 32 * 1024;

    // The stream owns `document` and its worker reads it; the worker lets it go when done.
    explicit DocumentTextStream(std::unique_ptr<documents::Document> document);
    ~DocumentTextStream();
    DocumentTextStream(const DocumentTextStream &) = delete;
    DocumentTextStream &operator=(const DocumentTextStream &) = delete;

    enum class Status { Text, Waiting, End };
    // Text: `piece` holds the next piece. Waiting: nothing came within `timeoutMs`. End: all text
    // was taken and outcome() is final.
    Status next(QString &piece, int timeoutMs);
    // The extraction's outcome; final once next() has returned End.
    documents::Outcome outcome() const;
    // How far the worker has come through the document, in thousandths (documents::ProgressOut).
    int progress() const;
    // True once the worker's reader has begun text recognition (WorkMonitor::setRecognising).
    bool recognising() const;

    // Asks the worker to stop and waits until it has ended (at most the page it is in); next()
    // then gives what was queued, then End.
    void stopAndWait();

    // How many workers are still running, those of destroyed streams included (for tests).
    static int runningWorkers();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<platform::OwnedThread> m_worker;
};

} // namespace search
