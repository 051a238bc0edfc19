#include "search/core/file_search.h"

#include "platform/core/chunk_reader.h"
#include "platform/core/field_cutter.h"
#include "search/archives/archive_walk.h"
#include "search/cache/text_cache.h"
#include "search/core/byte_prefilter.h"
#include "search/core/byte_scan.h"
#include "search/core/field_decoder.h"
#include "search/core/text_field_matcher.h"
#include "search/core/text_matcher.h"
#include "search/documents/document_text_stream.h"
#include "search/documents/text_screen.h"
#include "search/documents/zip_package.h"

#include <algorithm>
#include <optional>

namespace search {

using platform::TextEncoding;

// One pass over one file, from its first byte: the bytes are read in chunks, the encoding is
// decided, and the fields are cut and either scanned as bytes (ByteScan) or decoded and matched
// (FieldDecoder, TextMatcher). Files not cut on their bytes (UTF-16, some declared charsets) are
// decoded first and matched as text.
class FileSearch::Pass
{
public:
    // `raw`: the buffer for the file's bytes, holding its first chunk already.
    // `prefilter`: the keyword's, kept from file to file.
    Pass(const FileSearchOptions &options, FileSearchStats &stats, const BytePrefilter &prefilter,
         const std::function<bool()> &keepGoing, bool bytesFirst, QByteArray &raw)
        : m_options(options), m_stats(stats), m_keyword(prefilter.keyword()),
          m_keepGoing(keepGoing), m_bytesFirst(bytesFirst), m_raw(raw), m_prefilter(prefilter),
          m_scan(m_keyword, options.historySize)
    {}

    // The result, or nothing when the pass must start again decoding everything. Reads the
    // file (open just after its first chunk) to the end or until the answer is known.
    std::optional<FileSearchResult> run(ByteSource &file);

private:
    enum class Mode { ScanBytes, Decode, Text };

    struct DecodeSink
    {
        Pass &pass;
        void append(const char *data, qsizetype size)
        {
            pass.m_decoder.append(pass.m_text, data, size);
        }
    };

    qint64 fill(qsizetype size);
    bool decideEncoding(qsizetype from);
    void startBytes();
    void setNeedle(QByteArrayView sample);
    bool processBytes(const char *begin, const char *end);
    bool complete() const;
    void noteBuffers();

    const FileSearchOptions &m_options;
    FileSearchStats &m_stats;
    const QString &m_keyword;
    const std::function<bool()> &m_keepGoing;
    const bool m_bytesFirst;

    QByteArray &m_raw;
    ByteSource *m_file = nullptr;
    platform::EncodingSniffer m_sniffer;
    Mode m_mode = Mode::Decode;

    platform::FieldCutter<char> m_cutter;
    FieldDecoder m_decoder;
    QString m_text; // decoded text of the current chunk, not yet given to the matcher
    TextMatcher m_matcher;
    const BytePrefilter &m_prefilter;
    ByteScan m_scan;
    platform::TextDecoder m_textDecoder;
    TextFieldMatcher m_textMatcher;
};

qint64 FileSearch::Pass::fill(qsizetype size)
{
    const qint64 got = m_file->readInto(m_raw, size);
    if (got > 0)
        m_stats.bytesRead += got;
    return got;
}

// Feeds the sniffer from `from` on, reading on until the encoding is known when a non-ASCII
// byte has been seen. False on a read error.
bool FileSearch::Pass::decideEncoding(qsizetype from)
{
    std::optional<TextEncoding> encoding = m_sniffer.feed(QByteArrayView(m_raw).sliced(from));
    while (!encoding && m_sniffer.needsMore()) {
        const qsizetype old = m_raw.size();
        const qint64 got = fill(platform::kSniffWindow);
        if (got < 0)
            return false;
        if (got == 0) {
            encoding = m_sniffer.finish();
            break;
        }
        encoding = m_sniffer.feed(QByteArrayView(m_raw).sliced(old));
    }
    if (!encoding)
        return true; // all ASCII so far
    m_decoder.setEncoding({*encoding, {}});
    m_stats.encoding = *encoding;
    if (m_mode == Mode::ScanBytes)
        setNeedle(QByteArrayView(m_raw).sliced(from));
    return true;
}

// The keyword's bytes in the encoding as far as it is known, and its rarest character in
// `sample`, the start of the file.
void FileSearch::Pass::setNeedle(QByteArrayView sample)
{
    const std::optional<TextEncoding> encoding = m_decoder.encoding();
    m_scan.setNeedle(m_prefilter.needle(encoding), m_prefilter.rarestCharacter(encoding, sample));
}

void FileSearch::Pass::startBytes()
{
    if (m_bytesFirst && m_prefilter.usable(m_decoder.encoding())) {
        m_mode = Mode::ScanBytes;
        m_stats.bytesSearched = true;
        setNeedle(m_raw);
    } else {
        m_mode = Mode::Decode;
        m_matcher.begin(m_keyword);
    }
}

// Cuts a chunk of a byte-encoded file into fields. False when the pass must restart.
bool FileSearch::Pass::processBytes(const char *begin, const char *end)
{
    const char *p = begin;
    if (m_mode == Mode::ScanBytes) {
        JoinedWindow &window = m_scan.window();
        if (const auto resume = m_scan.skipTo(begin, end, m_cutter.state(), m_decoder.encoding())) {
            m_cutter.resume(resume->state, resume->afterCarriageReturn);
            window.restartAfterGap();
            p = resume->at;
            ++m_stats.chunksSkipped;
        }
        window.reserve(end - p);
        while (p < end) {
            if (m_cutter.cut(p, end, window))
                window.markFieldStart();
        }
        const ByteScan::Verdict verdict = m_scan.scan(m_decoder, m_matcher);
        m_stats.candidatesChecked = m_scan.candidatesChecked();
        switch (verdict) {
        case ByteScan::Verdict::NoHitYet:
            return true;
        case ByteScan::Verdict::Restart:
            return false;
        case ByteScan::Verdict::Hit:
            m_mode = Mode::Decode; // from here on decode everything, to complete the excerpt
            return true;
        }
    }
    DecodeSink sink{*this};
    while (p < end) {
        if (m_cutter.cut(p, end, sink))
            m_decoder.endField(m_text);
    }
    m_matcher.feed(m_text);
    m_text.resize(0);
    return true;
}

bool FileSearch::Pass::complete() const
{
    if (m_mode == Mode::Text)
        return m_textMatcher.complete();
    return m_mode == Mode::Decode && m_matcher.complete();
}

std::optional<FileSearchResult> FileSearch::Pass::run(ByteSource &file)
{
    FileSearchResult result;
    m_file = &file;
    const auto readError = [&] {
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = ReadStatus::ReadError;
        return result;
    };

    const qsizetype chunk = std::max<qsizetype>(m_options.chunkSize, 1);
    qsizetype offset = 0;
    m_stats.encoding = TextEncoding::Gb18030;
    std::optional<platform::Encoding> decided;
    if (const auto bom = platform::detectBom(m_raw)) {
        offset = bom->length;
        decided = platform::Encoding{bom->encoding, {}};
    } else {
        // The head (a declared charset, the zero bytes of UTF-16) decides before any byte is cut.
        while (m_raw.size() < platform::kHeadSize) {
            const qint64 got = fill(platform::kHeadSize - m_raw.size());
            if (got < 0)
                return readError();
            if (got == 0)
                break;
        }
        const bool ended = m_raw.size() < platform::kHeadSize;
        decided = platform::encodingFromHead(
            QByteArrayView(m_raw).first(std::min(m_raw.size(), platform::kHeadSize)), ended);
    }
    if (decided) {
        m_stats.encoding = decided->kind;
        if (!platform::cutsAsBytes(*decided)) {
            m_mode = Mode::Text;
            m_textDecoder = platform::TextDecoder(*decided);
            m_textMatcher.begin(m_keyword);
        } else {
            m_decoder.setEncoding(*decided);
        }
    }
    if (m_mode != Mode::Text)
        startBytes();
    // A small file is whole in the buffer already: when no encoding the rule may still decide
    // lets its bytes hold the keyword, nothing of it need be decided, cut or scanned.
    if (!decided && m_mode == Mode::ScanBytes && file.atEnd() && m_prefilter.absentFromAll(m_raw)) {
        m_stats.ruledOutByBytes = true;
        return result;
    }

    for (;;) {
        if (m_raw.size() > offset) {
            if (m_mode == Mode::Text) {
                m_textDecoder.append(m_text, QByteArrayView(m_raw).sliced(offset));
                m_textMatcher.feed(m_text);
                m_text.resize(0);
            } else {
                if (!m_decoder.encoding() && !decideEncoding(offset))
                    return readError();
                if (m_mode == Mode::ScanBytes && !m_prefilter.usable(m_decoder.encoding()))
                    return std::nullopt; // no byte form in this file's encoding
                if (!processBytes(m_raw.constData() + offset, m_raw.constData() + m_raw.size()))
                    return std::nullopt;
            }
            noteBuffers();
            if (complete())
                break;
            if (m_keepGoing && !m_keepGoing()) {
                result.outcome = FileSearchResult::Outcome::Stopped;
                return result;
            }
        }
        m_raw.resize(0);
        offset = 0;
        if (fill(chunk) < 0)
            return readError();
        if (m_raw.isEmpty())
            break; // the end of the file
    }
    if (!complete()) {
        // The end of the file ends the last field (an unclosed quote too).
        if (m_mode == Mode::Text) {
            m_textDecoder.finish(m_text);
            m_textMatcher.feed(m_text);
        } else if (m_mode == Mode::Decode) {
            m_decoder.endField(m_text);
            m_matcher.feed(m_text);
        }
        m_text.resize(0);
    }
    const bool found =
        m_mode == Mode::Text ? m_textMatcher.found() : m_mode == Mode::Decode && m_matcher.found();
    if (found) {
        result.outcome = FileSearchResult::Outcome::Hit;
        result.excerpt = m_mode == Mode::Text ? m_textMatcher.excerpt() : m_matcher.excerpt();
    }
    return result;
}

void FileSearch::Pass::noteBuffers()
{
    const qsizetype held = m_raw.capacity() + m_scan.heldBytes() + m_text.capacity() * 2;
    m_stats.peakBufferBytes = std::max(m_stats.peakBufferBytes, held);
}

// --- FileSearch ---------------------------------------------------------------------------------

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

FileSearchResult FileSearch::search(const QString &path, const QString &keyword,
                                    const std::function<bool()> &keepGoing)
{
    m_stats = FileSearchStats();
    m_progress = 0;
    const auto unreadable = [](ReadStatus status) {
        FileSearchResult result;
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = status;
        return result;
    };
    platform::ChunkReader file;
    if (!file.open(path))
        return unreadable(classifyOpenFailure(path));
    // A document whose summary the cache holds in memory, and which rules the keyword out, is
    // answered by the file's key alone: none of its bytes is read.
    std::optional<textcache::FileKey> fileKey;
    if (m_options.textCache && m_options.textCache->holdsSummaries()) {
        fileKey = textcache::FileKey::ofOpen(file.descriptor());
        if (fileKey) {
            if (const std::optional<textcache::CachedText> kept =
                    m_options.textCache->findKept(keyword, *fileKey, documents::extractorVersion()))
                return searchKept(*kept, keyword, keepGoing);
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
    // A document searched before, unchanged since: its kept text is searched, without even
    // recognising it again.
    if (m_options.textCache && documents::mayBeDocument(QByteArrayView(m_raw).first(
                                   std::min(m_raw.size(), kDocumentHeadSize)))) {
        if (!fileKey)
            fileKey = textcache::FileKey::ofOpen(file.descriptor());
        if (fileKey) {
            if (std::optional<FileSearchResult> result = searchCached(*fileKey, keyword, keepGoing))
                return *result;
        }
    }
    if (got == probe && probe < first) {
        const qint64 more = bytes.readInto(m_raw, first - probe);
        if (more < 0)
            return unreadable(classifyOpenFailure(path));
        m_stats.bytesRead += more;
    }
    const QByteArrayView head =
        QByteArrayView(m_raw).first(std::min(m_raw.size(), kDocumentHeadSize));
    // A package opened to be recognised is screened as it is, not opened again.
    documents::ZipPackage package;
    if (const documents::Kind kind = documents::recognise(path, head, &package);
        kind != documents::Kind::NotDocument) {
        return searchDocument(path, kind, keyword, keepGoing, fileKey, {}, &package);
    }
    if (archives::looksLikeArchive(m_raw))
        return searchArchive(file, path, keyword, keepGoing);
    return searchAfterHead(bytes, keyword, keepGoing, m_options.bytesFirst);
}

FileSearchResult FileSearch::searchText(ByteSource &bytes, const QString &keyword,
                                        const std::function<bool()> &keepGoing, bool bytesFirst)
{
    m_stats = FileSearchStats();
    if (readFirstChunk(bytes) < 0) {
        FileSearchResult result;
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = ReadStatus::ReadError;
        return result;
    }
    return searchAfterHead(bytes, keyword, keepGoing, bytesFirst && m_options.bytesFirst);
}

// The text search of a file whose first chunk is in m_raw.
FileSearchResult FileSearch::searchAfterHead(ByteSource &file, const QString &keyword,
                                             const std::function<bool()> &keepGoing,
                                             bool bytesFirst)
{
    if (!m_prefilter || m_prefilter->keyword() != keyword)
        m_prefilter = std::make_unique<BytePrefilter>(keyword);
    {
        Pass pass(m_options, m_stats, *m_prefilter, keepGoing, bytesFirst, m_raw);
        if (auto result = pass.run(file))
            return *result;
    }
    // The bytes could not settle it (no byte form in this file's encoding, or no place to
    // start decoding near a match): read the same open file again and decode all of it.
    const qint64 readBefore = m_stats.bytesRead;
    m_stats = FileSearchStats();
    m_stats.restarted = true;
    m_stats.bytesRead = readBefore;
    if (!file.rewind() || readFirstChunk(file) < 0) {
        FileSearchResult result;
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = ReadStatus::ReadError;
        return result;
    }
    Pass pass(m_options, m_stats, *m_prefilter, keepGoing, false, m_raw);
    return pass.run(file).value_or(FileSearchResult());
}

namespace {

// The text of a document as it is extracted, collected for the cache (when there is one) up to
// the most the cache keeps.
struct KeptText
{
    explicit KeptText(bool wanted) : wanted(wanted) {}

    // Adds `piece`; false when nothing more is wanted (no cache, or the text grew too long).
    bool append(QStringView piece)
    {
        if (!wanted)
            return false;
        if (text.size() + piece.size() > textcache::TextCache::kMaxTextChars) {
            wanted = false;
            text = QString();
            return false;
        }
        text.append(piece);
        return true;
    }
    // True when the text is whole and worth keeping: the extraction was not stopped half way.
    bool complete(documents::Outcome outcome) const
    {
        return wanted && outcome != documents::Outcome::Stopped;
    }

    bool wanted;
    QString text;
};

} // namespace

// The outcome of a document's extraction as the search tells it: a hit counts also in a
// document found damaged further on (the text before the damage holds it); an encrypted one and
// one without text (a scan) have no text at all, not even for an empty keyword: they are listed
// with their reason.
static FileSearchResult documentResult(const TextFieldMatcher &matcher, documents::Outcome outcome)
{
    FileSearchResult result;
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
                                                         const QString &keyword,
                                                         const std::function<bool()> &keepGoing,
                                                         QStringView member)
{
    if (!m_options.textCache)
        return std::nullopt;
    const std::optional<textcache::CachedText> cached =
        m_options.textCache->findFor(keyword, key, documents::extractorVersion(), member);
    if (!cached)
        return std::nullopt;
    return searchKept(*cached, keyword, keepGoing);
}

FileSearchResult FileSearch::searchKept(const textcache::CachedText &cached, const QString &keyword,
                                        const std::function<bool()> &keepGoing)
{
    m_stats.document = true;
    m_stats.fromCache = true;
    TextFieldMatcher matcher;
    matcher.begin(keyword);
    // The entry's summary rules the keyword out: the answer of a search that read all the text
    // and found nothing.
    m_stats.summaryAbsent = cached.keywordAbsent;
    if (cached.keywordAbsent)
        return documentResult(matcher, documents::Outcome(cached.outcome));
    constexpr qsizetype kPiece = 64 * 1024;
    const QStringView text(cached.text);
    for (qsizetype at = 0; at < text.size() && !matcher.complete(); at += kPiece) {
        if (at > 0 && keepGoing && !keepGoing()) {
            FileSearchResult stopped;
            stopped.outcome = FileSearchResult::Outcome::Stopped;
            return stopped;
        }
        matcher.feed(text.sliced(at, std::min(kPiece, text.size() - at)));
    }
    return documentResult(matcher, documents::Outcome(cached.outcome));
}

FileSearchResult FileSearch::searchDocument(const documents::Source &source, documents::Kind kind,
                                            const QString &keyword,
                                            const std::function<bool()> &keepGoing,
                                            const std::optional<textcache::FileKey> &fileKey,
                                            QStringView member,
                                            const documents::ZipPackage *package)
{
    m_stats.document = true;
    TextFieldMatcher matcher;
    matcher.begin(keyword);
    FileSearchResult stopped;
    stopped.outcome = FileSearchResult::Outcome::Stopped;

    textcache::TextCache *const cache = fileKey ? m_options.textCache : nullptr;
    const QByteArray version = documents::extractorVersion();
    // With a cache the whole text is read also after a hit, so that the next search of this
    // document, whatever its keyword, needs no extraction.
    KeptText kept(fileKey.has_value());

    switch (documents::TextScreen(keyword).screen(source, kind, keepGoing, package)) {
    case documents::TextScreen::Verdict::Absent:
        m_stats.screenedOut = true;
        return FileSearchResult();
    case documents::TextScreen::Verdict::Stopped:
        return stopped;
    case documents::TextScreen::Verdict::Possible:
        break;
    }
    // PDF files, pictures and OFD files are read by long library calls (a heavy page,
    // recognition of a scanned page): a worker does it, and this thread waits for it below.
    if (kind != documents::Kind::Pdf && kind != documents::Kind::Picture &&
        kind != documents::Kind::Ofd) {
        // A package's parts are inflated and parsed a block at a time, each step short: the
        // text comes here in pieces, and the run's yield runs between them.
        bool cancelled = false;
        const documents::Outcome outcome =
            documents::extractText(source, kind, [&](QStringView text) {
                if (!matcher.complete())
                    matcher.feed(text);
                const bool keeping = kept.append(text);
                if (matcher.complete() && !keeping)
                    return false;
                cancelled = keepGoing && !keepGoing();
                return !cancelled;
            });
        if (cancelled)
            return stopped;
        if (kept.complete(outcome))
            m_stats.storedInCache =
                cache->store(*fileKey, version, member, quint8(outcome), kept.text);
        return documentResult(matcher, outcome);
    }

    // One poppler call can take long on a heavy page: a worker extracts the text, and this
    // thread waits for it a little at a time, with the run's yield (inside keepGoing) between.
    constexpr int kWaitMs = 5;
    documents::DocumentTextStream stream(source, kind);
    QString piece;
    for (;;) {
        const documents::DocumentTextStream::Status status = stream.next(piece, kWaitMs);
        if (status == documents::DocumentTextStream::Status::End)
            break;
        if (status == documents::DocumentTextStream::Status::Text) {
            if (!matcher.complete())
                matcher.feed(piece);
            const bool keeping = kept.append(piece);
            if (matcher.complete() && !keeping)
                break;
        }
        m_progress = stream.progress();
        if (keepGoing && !keepGoing())
            return stopped;
    }
    if (kept.complete(stream.outcome()))
        m_stats.storedInCache =
            cache->store(*fileKey, version, member, quint8(stream.outcome()), kept.text);
    return documentResult(matcher, stream.outcome());
}

} // namespace search
