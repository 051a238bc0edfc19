#include "search/core/document_reading.h"

#include "search/cache/text_cache.h"
#include "search/core/document_text_stream.h"
#include "search/core/search_text.h"
#include "search/documents/signatures.h"
#include "search/formats/format_module.h"
#include "search/match/text_field_matcher.h"

#include <QFile>

#include <optional>

namespace search {

bool KeptText::append(QStringView piece)
{
    if (!m_wanted)
        return false;
    if (m_text.size() + piece.size() > textcache::TextCache::kMaxTextChars) {
        m_wanted = false;
        m_text = QString();
        return false;
    }
    m_text.append(piece);
    return true;
}

namespace {

// True when the search has its answer and the reader is recognising the text of a page or
// picture (seconds each) that the answer does not need: the first hit ends the reading for the
// run. The text read so far
// is not whole and is not kept; the document is read whole for the cache later (the prefetch's
// workers go back to a document whose text was not kept).
bool answeredBeforeRecognition(const TextFieldMatcher *matcher, bool recognising)
{
    return matcher && matcher->complete() && recognising;
}

// Gives `piece` to whoever still wants it; false once nobody does.
bool hand(QStringView piece, TextFieldMatcher *matcher, KeptText &kept)
{
    const bool matching = matcher && !matcher->complete();
    if (matching)
        matcher->feed(piece);
    const bool keeping = kept.append(piece);
    return keeping || (matcher && !matcher->complete());
}

} // namespace

documents::Outcome readDocumentText(std::unique_ptr<documents::Document> document,
                                    TextFieldMatcher *matcher, KeptText &kept,
                                    platform::WorkMonitor &monitor, bool worker)
{
    if (!worker || !document->readsOnWorker()) {
        // A package's parts are inflated and parsed a block at a time, each step short: the text
        // comes here in pieces, and the monitor is asked between them.
        const documents::Outcome outcome = document->extract(
            [&](QStringView piece) {
                return hand(piece, matcher, kept) && monitor.keepGoing() &&
                       !answeredBeforeRecognition(matcher, monitor.recognising());
            },
            monitor);
        return monitor.cancelled() ? documents::Outcome::Stopped : outcome;
    }
    constexpr int kWaitMs = 5;
    DocumentTextStream stream(std::move(document));
    QString piece;
    for (;;) {
        const DocumentTextStream::Status status = stream.next(piece, kWaitMs);
        if (status == DocumentTextStream::Status::End)
            break;
        if (status == DocumentTextStream::Status::Text && !hand(piece, matcher, kept))
            return documents::Outcome::Stopped; // all that is wanted was read
        if (answeredBeforeRecognition(matcher, stream.recognising()))
            return documents::Outcome::Stopped;
        monitor.setProgress(stream.progress());
        if (!monitor.keepGoing())
            return documents::Outcome::Stopped;
    }
    return stream.outcome();
}

Keeping keepDocumentText(const QString &path, const formats::Readers &readers,
                         textcache::TextCache &cache, bool skipScreened,
                         platform::WorkMonitor &monitor)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Keeping::Done;
    const QByteArray head = file.read(kDocumentHeadSize);
    file.close();
    if (!documents::mayBeDocument(head))
        return Keeping::Done;
    const std::optional<textcache::FileKey> key = textcache::FileKey::of(path);
    const QByteArray version = readers.version();
    if (!key || cache.contains(*key, version))
        return Keeping::Done;
    std::unique_ptr<documents::Document> document = readers.openDocument(path, head);
    if (!document)
        return Keeping::Done;
    // A document that carries files is never kept under its own key alone (searchCarrying).
    if (document->hasAttachments())
        return Keeping::Carrying;
    if (skipScreened && document->screens() && !document->readsOnWorker())
        return Keeping::Later;
    KeptText kept(true);
    const documents::Outcome outcome =
        readDocumentText(std::move(document), nullptr, kept, monitor, false);
    // Text read whole, and nobody has asked to stop since: kept.
    if (kept.complete(outcome) && monitor.keepGoing())
        cache.store(*key, version, {}, quint8(outcome), kept.text());
    return Keeping::Done;
}

} // namespace search
