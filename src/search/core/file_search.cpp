#include "search/core/file_search.h"

#include "platform/core/chunk_reader.h"
#include "search/archives/archive_signature.h"
#include "search/cache/text_cache.h"
#include "search/core/document_reading.h"
#include "search/core/text_pass.h"
#include "search/documents/signatures.h"
#include "search/formats/format_module.h"
#include "search/match/text_field_matcher.h"

#include <QElapsedTimer>

#include <algorithm>
#include <optional>

namespace search {

FileSearch::FileSearch(FileSearchOptions options) : m_options(options) {}

FileSearch::~FileSearch() = default;

// Reads the first chunk of the file into m_raw (at least enough to recognise a document and a
// byte-order mark), or its first `upTo` bytes. The buffer is reused from file to file.
qint64 FileSearch::readFirstChunk(ByteSource &file, qsizetype upTo)
{
    const qsizetype first = std::max(m_options.chunkSize, kDocumentHeadSize);
    m_raw.resize(0);
    m_raw.reserve(first + platform::kSniffWindow);
    const qint64 got = file.readInto(m_raw, upTo > 0 ? std::min(upTo, first) : first);
    if (got > 0)
        m_stats.bytesRead += got;
    return got;
}

namespace {

// A file on disk as the search's source of bytes.
class FileBytes : public ByteSource
{
public:
    explicit FileBytes(platform::ChunkReader &file) : m_file(file) {}
    qint64 readInto(QByteArray &buffer, qsizetype size) override
    {
        return m_file.readInto(buffer, size);
    }
    bool rewind() override { return m_file.rewind(); }
    bool atEnd() const override { return m_file.atEnd(); }

private:
    platform::ChunkReader &m_file;
};

} // namespace

const formats::Readers &FileSearch::readers() const
{
    return m_options.readers ? *m_options.readers : formats::defaultReaders();
}

namespace {

FileSearchResult unreadable(ReadStatus status)
{
    FileSearchResult result;
    result.outcome = FileSearchResult::Outcome::Unreadable;
    result.status = status;
    return result;
}

FileSearchResult stopped()
{
    FileSearchResult result;
    result.outcome = FileSearchResult::Outcome::Stopped;
    return result;
}

} // namespace

FileSearchResult FileSearch::search(const QString &path, const QString &keyword,
                                    const std::function<bool()> &keepGoing)
{
    if (!m_keyword || m_keyword->text() != keyword)
        m_keyword = Keyword::compile(keyword);
    platform::WorkMonitor monitor(keepGoing);
    return search(path, *m_keyword, monitor);
}

FileSearchResult FileSearch::search(const QString &path, const Keyword &keyword,
                                    platform::WorkMonitor &monitor)
{
    m_stats = FileSearchStats();
    m_keptLater = 0;
    platform::ChunkReader file;
    if (!file.open(path))
        return unreadable(classifyOpenFailure(path));
    // A document whose summary the cache holds in memory, and which rules the keyword out, is
    // answered by the file's key alone: none of its bytes is read. Where the key needs the file's
    // content (a vfat stick), it is made only once the file is known to be a document.
    std::optional<textcache::FileKey> fileKey;
    if (m_options.textCache && m_options.textCache->holdsSummaries()) {
        fileKey = textcache::FileKey::ofOpenWithoutReading(file.descriptor());
        if (fileKey) {
            if (const std::optional<textcache::CachedText> kept = m_options.textCache->findKept(
                    keyword.summaryProbe(), *fileKey, readers().version()))
                return searchKept(*kept, keyword, monitor);
        }
    }
    // A folder opens, and fails at the first read; what it is then tells the reason.
    FileBytes bytes(file);
    // With a cache, a page first: a document whose text the cache keeps needs none of its other
    // bytes. A file of a page or less is read with as many calls as in one go.
    const qsizetype first = std::max(m_options.chunkSize, kDocumentHeadSize);
    const qsizetype probe = m_options.textCache ? std::min<qsizetype>(kCacheProbe, first) : first;
    const qint64 got = readFirstChunk(bytes, probe);
    if (got < 0)
        return unreadable(classifyOpenFailure(path));
    const bool mayBeDocument = documents::mayBeDocument(
        QByteArrayView(m_raw).first(std::min(m_raw.size(), kDocumentHeadSize)));
    // A document searched before, unchanged since: its kept text is searched, without even
    // recognising it again.
    if (m_options.textCache && mayBeDocument) {
        if (!fileKey)
            fileKey = textcache::FileKey::ofOpen(file.descriptor());
        if (fileKey) {
            if (std::optional<FileSearchResult> result = searchCached(*fileKey, keyword, monitor))
                return *result;
        }
    }
    if (got == probe && probe < first) {
        const qint64 more = bytes.readInto(m_raw, first - probe);
        if (more < 0)
            return unreadable(classifyOpenFailure(path));
        m_stats.bytesRead += more;
    }
    if (mayBeDocument) {
        const QByteArrayView head =
            QByteArrayView(m_raw).first(std::min(m_raw.size(), kDocumentHeadSize));
        if (std::unique_ptr<documents::Document> document = readers().openDocument(path, head)) {
            if (document->hasAttachments())
                return searchCarrying(std::move(document), file, keyword, monitor);
            return searchDocument(std::move(document), keyword, monitor, fileKey);
        }
    }
    if (archives::hasArchiveSignature(m_raw) && readers().readsArchives())
        return searchArchive(file, path, keyword, monitor);
    return searchAfterHead(bytes, keyword, monitor, m_options.bytesFirst);
}

FileSearchResult FileSearch::searchText(ByteSource &bytes, const Keyword &keyword,
                                        platform::WorkMonitor &monitor, bool bytesFirst)
{
    m_stats = FileSearchStats();
    if (readFirstChunk(bytes) < 0)
        return unreadable(ReadStatus::ReadError);
    return searchAfterHead(bytes, keyword, monitor, bytesFirst && m_options.bytesFirst);
}

// The text search of a file whose first chunk is in m_raw.
FileSearchResult FileSearch::searchAfterHead(ByteSource &file, const Keyword &keyword,
                                             platform::WorkMonitor &monitor, bool bytesFirst)
{
    {
        TextPass pass(m_options, m_stats, keyword, monitor, bytesFirst, m_raw);
        if (auto result = pass.run(file))
            return *result;
    }
    // The bytes could not settle it (no byte form in this file's encoding, or no place to
    // start decoding near a match): read the same open file again and decode all of it.
    const qint64 readBefore = m_stats.bytesRead;
    m_stats = FileSearchStats();
    m_stats.restarted = true;
    m_stats.bytesRead = readBefore;
    if (!file.rewind() || readFirstChunk(file) < 0)
        return unreadable(ReadStatus::ReadError);
    TextPass pass(m_options, m_stats, keyword, monitor, false, m_raw);
    return pass.run(file).value_or(FileSearchResult());
}

// The outcome of a document's reading as the search tells it: a hit counts also in a document
// found damaged further on (the text before the damage holds it); an encrypted one and one
// without text (a scan) have no text at all, not even for an empty keyword: they are listed with
// their reason.
static FileSearchResult documentResult(const TextFieldMatcher &matcher, documents::Outcome outcome,
                                       bool textKept)
{
    FileSearchResult result;
    result.readAs = FileSearchResult::ReadAs::Document;
    result.textKept = textKept;
    const ReadStatus reason = documentFailure(outcome);
    const bool textless = reason == ReadStatus::Encrypted || reason == ReadStatus::NoText;
    const ReadStatus failure = matcher.complete() && !textless ? ReadStatus::Ok : reason;
    if (matcher.found() && !textless) {
        result.outcome = FileSearchResult::Outcome::Hit;
        result.excerpt = matcher.excerpt();
    } else if (failure != ReadStatus::Ok) {
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = failure;
    }
    return result;
}

std::optional<FileSearchResult> FileSearch::searchCached(const textcache::FileKey &key,
                                                         const Keyword &keyword,
                                                         platform::WorkMonitor &monitor,
                                                         QStringView member)
{
    if (!m_options.textCache)
        return std::nullopt;
    const std::optional<textcache::CachedText> cached =
        m_options.textCache->findFor(keyword.summaryProbe(), key, readers().version(), member);
    if (!cached)
        return std::nullopt;
    return searchKept(*cached, keyword, monitor);
}

FileSearchResult FileSearch::searchKept(const textcache::CachedText &cached, const Keyword &keyword,
                                        platform::WorkMonitor &monitor)
{
    m_stats.document = true;
    m_stats.fromCache = true;
    TextFieldMatcher matcher;
    matcher.begin(keyword.text());
    // The entry's summary rules the keyword out: the answer of a search that read all the text
    // and found nothing.
    m_stats.summaryAbsent = cached.keywordAbsent;
    if (cached.keywordAbsent)
        return documentResult(matcher, documents::Outcome(cached.outcome), true);
    constexpr qsizetype kPiece = 64 * 1024;
    const QStringView text(cached.text);
    for (qsizetype at = 0; at < text.size() && !matcher.complete(); at += kPiece) {
        if (at > 0 && !monitor.keepGoing())
            return stopped();
        matcher.feed(text.sliced(at, std::min(kPiece, text.size() - at)));
    }
    return documentResult(matcher, documents::Outcome(cached.outcome), true);
}

FileSearchResult FileSearch::searchDocument(std::unique_ptr<documents::Document> document,
                                            const Keyword &keyword, platform::WorkMonitor &monitor,
                                            const std::optional<textcache::FileKey> &fileKey,
                                            QStringView member)
{
    m_stats.document = true;
    switch (document->screen(keyword.utf8Characters(), monitor)) {
    case documents::Screen::Absent: {
        m_stats.screenedOut = true;
        FileSearchResult absent;
        absent.readAs = FileSearchResult::ReadAs::Document;
        return absent;
    }
    case documents::Screen::Stopped:
        return stopped();
    case documents::Screen::Possible:
        break;
    }
    textcache::TextCache *const cache = fileKey ? m_options.textCache : nullptr;
    TextFieldMatcher matcher;
    matcher.begin(keyword.text());
    // With a cache the whole text is read also after a hit, so that the next search of this
    // document, whatever its keyword, needs no extraction.
    KeptText kept(cache != nullptr);
    QElapsedTimer reading;
    reading.start();
    const documents::Outcome outcome =
        readDocumentText(std::move(document), &matcher, kept, monitor, true);
    if (monitor.cancelled())
        return stopped();
    // Of the members, only a mail's attachments are left: the workers' pass after the run goes
    // through a mail again, never through an archive.
    const bool later = (member.isEmpty() || m_carrying) && m_options.keepLaterBelowMs >= 0 &&
                       reading.elapsed() < m_options.keepLaterBelowMs;
    if (kept.complete(outcome) && later)
        ++m_keptLater;
    else if (kept.complete(outcome))
        m_stats.storedInCache =
            cache->store(*fileKey, readers().version(), member, quint8(outcome), kept.text());
    return documentResult(matcher, outcome, m_stats.storedInCache);
}

} // namespace search
