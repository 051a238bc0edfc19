#pragma once

#include "platform/core/work_monitor.h"
#include "search/documents/document.h"

#include <QString>

#include <memory>

namespace textcache {
class TextCache;
}

namespace formats {
class Readers;
}

namespace search {

class TextFieldMatcher;

// The text of a document as it is read, collected for the text cache up to the most the cache
// keeps of one document.
class KeptText
{
public:
    explicit KeptText(bool wanted) : m_wanted(wanted) {}

    // Adds `piece`; false when nothing more is wanted (no cache, or the text grew too long).
    bool append(QStringView piece);
    // True when the text is whole and worth keeping: the reading was not stopped half way.
    bool complete(documents::Outcome outcome) const
    {
        return m_wanted && outcome != documents::Outcome::Stopped;
    }
    const QString &text() const { return m_text; }

private:
    bool m_wanted;
    QString m_text;
};

// Reads the text of `document` once, for both who want it: each piece goes to `matcher` (may be
// null) until it has its excerpt, and to `kept` until it has the whole text or wants no more;
// reading stops once neither wants more. `monitor.keepGoing()` is asked between pieces; its
// cancel stops the reading (Stopped).
//
// With `worker`, a document whose reader makes long library calls (a PDF page, recognition) is
// read on a thread of its own while this thread waits a few milliseconds at a time and keeps
// asking the monitor, so that one heavy page never holds it; the reader's progress reaches the
// monitor. Without, it is read on this thread.
documents::Outcome readDocumentText(std::unique_ptr<documents::Document> document,
                                    TextFieldMatcher *matcher, KeptText &kept,
                                    platform::WorkMonitor &monitor, bool worker);

// What keepDocumentText did with a file.
enum class Keeping {
    Done,     // kept, kept already, no document, or stopped
    Later,    // skipped for now (skipScreened): to come back to
    Carrying, // a document that carries files: its files are kept by a search of it (FileSearch)
};

// Keeps the text of the document at `path` in `cache`, read by `readers`, unless it is kept
// already or the file is no document (or one that carries files, which is never kept under its
// own key alone). With `skipScreened`, the office packages whose raw bytes usually decide a
// search faster than their extraction takes are not read (Later).
Keeping keepDocumentText(const QString &path, const formats::Readers &readers,
                         textcache::TextCache &cache, bool skipScreened,
                         platform::WorkMonitor &monitor);

} // namespace search
