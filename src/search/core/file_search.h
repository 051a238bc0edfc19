#pragma once

#include "platform/core/text_encoding.h"
#include "search/cache/text_cache.h"
#include "search/core/search_text.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace platform {
class ChunkReader;
}

namespace search {

struct FileSearchOptions
{
    // Bytes read from the file at a time.
    qsizetype chunkSize = 256 * 1024;
    // Joined field bytes kept behind the scan, from which the excerpt before a hit is decoded.
    qsizetype historySize = 64 * 1024;
    // Search the keyword's bytes first and decode only around their occurrences, where that can
    // never miss a match. Off: decode the whole file.
    bool bytesFirst = true;
    // Where the text of documents is kept between searches; none: every document is extracted.
    textcache::TextCache *textCache = nullptr;
};

struct FileSearchResult
{
    enum class Outcome { Hit, NoHit, Unreadable, Stopped };
    Outcome outcome = Outcome::NoHit;
    QString excerpt;                    // for a hit: as excerptAt() gives it
    ReadStatus status = ReadStatus::Ok; // for an unreadable file: why
};

// What the last search did, for tests and benchmarks.
struct FileSearchStats
{
    platform::TextEncoding encoding = platform::TextEncoding::Gb18030;
    qint64 bytesRead = 0;
    qsizetype peakBufferBytes = 0; // the most memory the search held in its buffers at once
    bool bytesSearched = false;    // the keyword's bytes were searched for
    int candidatesChecked = 0;     // occurrences of those bytes that were decoded to check them
    bool restarted = false;        // started again from the beginning, decoding everything
    bool document = false;         // searched by the text of its document (an office file, a PDF)
    int chunksSkipped = 0;         // chunks joined only from near their end (ByteScan::skipTo)
    bool screenedOut = false;      // a document decided from its raw bytes (documents::TextScreen)
    bool fromCache = false;        // a document searched by the text the cache kept of it
    bool storedInCache = false;    // a document whose text was put into the cache
};

// Searches one file for a keyword without holding the file: the file is read in chunks, cut
// into fields and searched as it goes, and reading stops once the excerpt of the first
// occurrence is complete. Memory does not grow with the size of the file.
//
// The answer is exactly that of FindA and HitEntry over ReadSearchText for the same file: the
// same encoding per file (platform::detectBom, platform::encodingFromHead, then
// platform::EncodingSniffer), the same fields
// (platform::FieldCutter), decoded one by one (FieldDecoder). Where the keyword has a single
// byte form in the file's encoding (BytePrefilter), those bytes are searched in the joined field
// bytes (ByteScan, JoinedWindow) and only their surroundings are decoded; otherwise the fields
// are decoded and matched as text (TextMatcher).
//
// A document (recognised by documents::recognise from the first bytes) is searched by its text,
// cut into fields and matched (TextFieldMatcher) as it is extracted, with `keepGoing` called in
// between: on this thread for the ZIP packages (parsed a block at a time), on a worker thread
// (documents::DocumentTextStream) for PDF, where one page can take long.
class FileSearch
{
public:
    explicit FileSearch(FileSearchOptions options = {});
    ~FileSearch();
    FileSearch(const FileSearch &) = delete;
    FileSearch &operator=(const FileSearch &) = delete;

    // `keepGoing` runs before every chunk after the first; when it returns false the search
    // stops and the outcome is Stopped.
    FileSearchResult search(const QString &path, const QString &keyword,
                            const std::function<bool()> &keepGoing = {});

    const FileSearchStats &stats() const { return m_stats; }

    void setTextCache(textcache::TextCache *cache) { m_options.textCache = cache; }

private:
    class Pass;
    qint64 readFirstChunk(platform::ChunkReader &file);
    // The search of a document's text kept in the cache; nothing when the cache has none.
    std::optional<FileSearchResult> searchCached(const textcache::FileKey &key,
                                                 const QString &keyword,
                                                 const std::function<bool()> &keepGoing);
    // `fileKey`: the document's key in the cache, where its text is to be kept (none: not kept).
    FileSearchResult searchDocument(const QString &path, documents::Kind kind,
                                    const QString &keyword, const std::function<bool()> &keepGoing,
                                    const std::optional<textcache::FileKey> &fileKey);
    FileSearchOptions m_options;
    FileSearchStats m_stats;
    QByteArray m_raw; // the bytes of the current chunk, reused from file to file
};

} // namespace search
