#include "search/core/file_search.h"

#include "platform/core/chunk_reader.h"
#include "platform/core/field_cutter.h"
#include "search/archives/archive_walk.h"
#include "search/core/byte_prefilter.h"
#include "search/core/byte_scan.h"
#include "search/core/field_decoder.h"
#include "search/core/text_field_matcher.h"
#include "search/core/text_matcher.h"
#include "search/documents/document_text_stream.h"
#include "search/documents/text_screen.h"

#include <algorithm>
#include <optional>

namespace search {

using platform::TextEncoding;

// One pass over one file, from its first byte: the bytes are read in chunks, the encoding is
// decided, and the fields are cut and either scanned as bytes (ByteScan) or decoded and matched
// (FieldDecoder, TextMatcher). UTF-16 files are decoded first and matched as text.
class FileSearch::Pass
{
public:
    // `raw`: the buffer for the file's bytes, holding its first chunk already.
    Pass(const FileSearchOptions &options, FileSearchStats &stats, const QString &keyword,
         const std::function<bool()> &keepGoing, bool bytesFirst, QByteArray &raw)
        : m_options(options), m_stats(stats), m_keyword(keyword), m_keepGoing(keepGoing),
          m_bytesFirst(bytesFirst), m_raw(raw), m_prefilter(keyword),
          m_scan(keyword, options.historySize)
    {}

    // The result, or nothing when the pass must start again decoding everything. Reads the
    // file (open just after its first chunk) to the end or until the answer is known.
    std::optional<FileSearchResult> run(ByteSource &file);

private:
    enum class Mode { ScanBytes, Decode, Utf16 };

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
    BytePrefilter m_prefilter;
    ByteScan m_scan;
    platform::Utf16Decoder m_utf16;
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
    m_decoder.setEncoding(*encoding);
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
    if (m_mode == Mode::Utf16)
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
    m_stats.encoding = TextEncoding::Gbk;
    if (const auto bom = platform::detectBom(m_raw)) {
        offset = bom->length;
        m_stats.encoding = bom->encoding;
        if (platform::isUtf16(bom->encoding)) {
            m_mode = Mode::Utf16;
            m_utf16 = platform::Utf16Decoder(bom->encoding);
            m_textMatcher.begin(m_keyword);
        } else {
            m_decoder.setEncoding(bom->encoding);
        }
    }
    if (m_mode != Mode::Utf16)
        startBytes();

    for (;;) {
        if (m_raw.size() > offset) {
            if (m_mode == Mode::Utf16) {
                m_utf16.append(m_text, QByteArrayView(m_raw).sliced(offset));
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
        if (m_mode == Mode::Utf16) {
            m_utf16.finish(m_text);
            m_textMatcher.feed(m_text);
        } else if (m_mode == Mode::Decode) {
            m_decoder.endField(m_text);
            m_matcher.feed(m_text);
        }
        m_text.resize(0);
    }
    const bool found =
        m_mode == Mode::Utf16 ? m_textMatcher.found() : m_mode == Mode::Decode && m_matcher.found();
    if (found) {
        result.outcome = FileSearchResult::Outcome::Hit;
        result.excerpt = m_mode == Mode::Utf16 ? m_textMatcher.excerpt() : m_matcher.excerpt();
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
// byte-order mark). The buffer is reused from file to file.
qint64 FileSearch::readFirstChunk(ByteSource &file)
{
    const qsizetype first = std::max(m_options.chunkSize, kDocumentHeadSize);
    m_raw.resize(0);
    m_raw.reserve(first + platform::kSniffWindow);
    const qint64 got = file.readInto(m_raw, first);
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

private:
    platform::ChunkReader &m_file;
};

} // namespace

FileSearchResult FileSearch::search(const QString &path, const QString &keyword,
                                    const std::function<bool()> &keepGoing)
{
    m_stats = FileSearchStats();
    const auto unreadable = [](ReadStatus status) {
        FileSearchResult result;
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = status;
        return result;
    };
    platform::ChunkReader file;
    if (!file.open(path))
        return unreadable(classifyOpenFailure(path));
    // A folder opens, and fails at the first read; what it is then tells the reason.
    FileBytes bytes(file);
    if (readFirstChunk(bytes) < 0)
        return unreadable(classifyOpenFailure(path));
    if (const documents::Kind kind = documents::recognise(
            path, QByteArrayView(m_raw).first(std::min(m_raw.size(), kDocumentHeadSize)));
        kind != documents::Kind::NotDocument) {
        return searchDocument(path, kind, keyword, keepGoing);
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
    {
        Pass pass(m_options, m_stats, keyword, keepGoing, bytesFirst, m_raw);
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
    Pass pass(m_options, m_stats, keyword, keepGoing, false, m_raw);
    return pass.run(file).value_or(FileSearchResult());
}

// The outcome of a document's extraction as the search tells it: a hit counts also in a
// document found damaged further on (the text before the damage holds it); an encrypted one has
// no text at all, not even for an empty keyword.
static FileSearchResult documentResult(const TextFieldMatcher &matcher, documents::Outcome outcome)
{
    FileSearchResult result;
    const ReadStatus failure = matcher.complete() ? ReadStatus::Ok : documentFailure(outcome);
    if (matcher.found() && failure != ReadStatus::Encrypted) {
        result.outcome = FileSearchResult::Outcome::Hit;
        result.excerpt = matcher.excerpt();
    } else if (failure != ReadStatus::Ok) {
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = failure;
    }
    return result;
}

FileSearchResult FileSearch::searchDocument(const documents::Source &source, documents::Kind kind,
                                            const QString &keyword,
                                            const std::function<bool()> &keepGoing)
{
    m_stats.document = true;
    TextFieldMatcher matcher;
    matcher.begin(keyword);
    FileSearchResult stopped;
    stopped.outcome = FileSearchResult::Outcome::Stopped;

    switch (documents::TextScreen(keyword).screen(source, kind, keepGoing)) {
    case documents::TextScreen::Verdict::Absent:
        m_stats.screenedOut = true;
        return FileSearchResult();
    case documents::TextScreen::Verdict::Stopped:
        return stopped;
    case documents::TextScreen::Verdict::Possible:
        break;
    }
    if (kind != documents::Kind::Pdf) {
        // A package's parts are inflated and parsed a block at a time, each step short: the
        // text comes here in pieces, and the run's yield runs between them.
        bool cancelled = false;
        const documents::Outcome outcome =
            documents::extractText(source, kind, [&](QStringView text) {
                matcher.feed(text);
                if (matcher.complete())
                    return false;
                cancelled = keepGoing && !keepGoing();
                return !cancelled;
            });
        return cancelled ? stopped : documentResult(matcher, outcome);
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
            matcher.feed(piece);
            if (matcher.complete())
                break;
        }
        if (keepGoing && !keepGoing())
            return stopped;
    }
    return documentResult(matcher, stream.outcome());
}

} // namespace search
