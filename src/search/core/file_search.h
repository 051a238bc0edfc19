#pragma once

#include "platform/core/text_encoding.h"
#include "platform/core/work_monitor.h"
#include "search/cache/text_cache.h"
#include "search/core/search_text.h"
#include "search/documents/document.h"
#include "search/match/keyword.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace platform {
class ChunkReader;
}

namespace formats {
class Readers;
}

namespace search {

// Where a search reads a file's bytes from: the file itself, or a member of an archive.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Appends up to `size` bytes to `buffer` (fewer only at the end): how many, 0 at the end, -1
    // on a read error.
    virtual qint64 readInto(QByteArray &buffer, qsizetype size) = 0;
    // Back to the first byte; false when that is not possible.
    virtual bool rewind() = 0;
    // True once a read has found the end: nothing more will come.
    virtual bool atEnd() const { return false; }
};

// A member of an archive that holds the keyword or could not be read.
struct MemberOutcome
{
    QString path; // below the archive, nested levels joined by "/"; empty: the archive itself (or
                  // the own text of a document that carries files)
    QList<int> chain; // the member's entry index at each level (formats::Readers::copyMember)
    bool hit = false; // a hit, with its excerpt; otherwise unreadable, for `status`
    QString excerpt;
    ReadStatus status = ReadStatus::Ok;
};

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
    // The readers of documents and archives; null: formats::defaultReaders(), the format module's
    // in the program.
    const formats::Readers *readers = nullptr;
    // With a cache: a document (or a file a document carries, not an archive's member) read whole
    // in less than this many milliseconds is not stored as it is searched but left for later
    // (leftToKeep(); a document's result has textKept false), for a run whose workers keep such
    // documents once they have nothing ahead: writing a text costs a good share of reading a
    // small document, and the run waits for neither. Negative: every text is stored as read.
    int keepLaterBelowMs = -1;
};

struct FileSearchResult
{
    // Archive: the file is an archive, searched member by member; `members` tells what was
    // found, in member order (Stopped when the search was stopped inside it).
    enum class Outcome { Hit, NoHit, Unreadable, Stopped, Archive };
    Outcome outcome = Outcome::NoHit;
    // How the file was read: as text, as a document (by its text), or as an archive.
    enum class ReadAs { Text, Document, Archive };
    ReadAs readAs = ReadAs::Text;
    bool textKept = false; // a document whose text the cache holds now (found there or stored)
    QString excerpt;       // for a hit: as excerptAt() gives it
    ReadStatus status = ReadStatus::Ok; // for an unreadable file: why
    QList<MemberOutcome> members;       // for an archive
};

// What the last search did, for tests and benchmarks: told, never asked by the search itself.
struct FileSearchStats
{
    platform::TextEncoding encoding = platform::TextEncoding::Gb18030;
    qint64 bytesRead = 0;
    qsizetype peakBufferBytes = 0; // the most memory the search held in its buffers at once
    bool bytesSearched = false;    // the keyword's bytes were searched for
    int candidatesChecked = 0;     // occurrences of those bytes that were decoded to check them
    bool restarted = false;        // started again from the beginning, decoding everything
    bool document = false;         // searched by the text of its document (an office file, a PDF)
    bool archive = false;          // searched member by member
    int chunksSkipped = 0;         // chunks joined only from near their end (ByteScan::skipTo)
    bool ruledOutByBytes = false;  // a whole file without the keyword's bytes in any encoding
    bool screenedOut = false;      // a document decided from its raw bytes (Document::screen)
    bool fromCache = false;        // a document searched by the text the cache kept of it
    bool summaryAbsent = false;    // ... decided by the kept text's summary, the text not read
    bool storedInCache = false;    // a document whose text was put into the cache
};

// Searches one file for a keyword without holding the file: the file is read in chunks, cut
// into fields and searched as it goes, and reading stops once the excerpt of the first
// occurrence is complete. Memory does not grow with the size of the file.
//
// The answer is exactly that of FindA and HitEntry over ReadSearchText for the same file: the
// same encoding per file (platform::detectBom, platform::encodingFromHead, then
// platform::EncodingSniffer), the same fields (platform::FieldCutter), decoded one by one
// (FieldDecoder). Where the keyword has a single byte form in the file's encoding
// (BytePrefilter), those bytes are searched in the joined field bytes (ByteScan, JoinedWindow)
// and only their surroundings are decoded; otherwise the fields are decoded and matched as text
// (TextMatcher).
//
// A document (one the readers recognise from its first bytes) is searched by its text, cut into
// fields and matched (TextFieldMatcher) as it is read (readDocumentText); an archive member by
// member (archive_search.cpp). The path of a file runs one way: the readers give a document, its
// text goes to the matcher and the cache, the answer comes back.
class FileSearch
{
public:
    explicit FileSearch(FileSearchOptions options = {});
    ~FileSearch();
    FileSearch(const FileSearch &) = delete;
    FileSearch &operator=(const FileSearch &) = delete;

    // `monitor.keepGoing()` runs before every chunk after the first and between the pieces of a
    // document; when it says stop the outcome is Stopped. How far a long document has come goes
    // to the monitor's progress.
    FileSearchResult search(const QString &path, const Keyword &keyword,
                            platform::WorkMonitor &monitor);
    // The same for a keyword given as text (compiled here, and kept while it stays the same) and
    // `keepGoing` as the monitor's poll: for tools and tests that search file by file.
    FileSearchResult search(const QString &path, const QString &keyword,
                            const std::function<bool()> &keepGoing = {});

    // Searches bytes that are known to be text (an archive's member) like a file's: `bytesFirst`
    // only when `bytes` can be rewound should the bytes not settle it.
    FileSearchResult searchText(ByteSource &bytes, const Keyword &keyword,
                                platform::WorkMonitor &monitor, bool bytesFirst);

    // The search of a document's text kept in the cache under `key` (and `member`, the place of
    // an archive's member); nothing when the cache has none.
    std::optional<FileSearchResult> searchCached(const textcache::FileKey &key,
                                                 const Keyword &keyword,
                                                 platform::WorkMonitor &monitor,
                                                 QStringView member = {});

    const FileSearchStats &stats() const { return m_stats; }
    // The last search left text to keep later (FileSearchOptions::keepLaterBelowMs): the
    // document's own, or that of a file it carries.
    bool leftToKeep() const { return m_keptLater > 0; }
    const formats::Readers &readers() const;

    void setTextCache(textcache::TextCache *cache) { m_options.textCache = cache; }
    void setReaders(const formats::Readers *readers) { m_options.readers = readers; }
    void setKeepLaterBelow(int milliseconds) { m_options.keepLaterBelowMs = milliseconds; }

private:
    friend class ArchiveSearch;
    qint64 readFirstChunk(ByteSource &file, qsizetype upTo = 0);
    // The bytes read first from a file when there is a text cache.
    static constexpr qsizetype kCacheProbe = 4096;
    FileSearchResult searchAfterHead(ByteSource &file, const Keyword &keyword,
                                     platform::WorkMonitor &monitor, bool bytesFirst);
    // Searches a document by its text. `fileKey`: the document's key in the text cache, where its
    // text is then kept (none: not kept); for a member of an archive, the archive's key and
    // `member`, the member's place in it.
    FileSearchResult searchDocument(std::unique_ptr<documents::Document> document,
                                    const Keyword &keyword, platform::WorkMonitor &monitor,
                                    const std::optional<textcache::FileKey> &fileKey = {},
                                    QStringView member = {});
    // The search of a document's text (or summary) as the cache gave it.
    FileSearchResult searchKept(const textcache::CachedText &cached, const Keyword &keyword,
                                platform::WorkMonitor &monitor);
    // An archive whose first bytes are in m_raw, the rest to be read from `file`
    // (archive_search.cpp).
    FileSearchResult searchArchive(platform::ChunkReader &file, const QString &path,
                                   const Keyword &keyword, platform::WorkMonitor &monitor);
    // A document that carries files (a mail and its attachments; archive_search.cpp): its own
    // text, then each file as an archive's member. Its own text is not kept in the cache under
    // the file's key, which would then answer for the attachments too.
    FileSearchResult searchCarrying(std::unique_ptr<documents::Document> document,
                                    platform::ChunkReader &file, const Keyword &keyword,
                                    platform::WorkMonitor &monitor);
    FileSearchOptions m_options;
    FileSearchStats m_stats;
    QByteArray m_raw; // the bytes of the current chunk, reused from file to file
    std::shared_ptr<const Keyword> m_keyword; // of search() by text, kept while it stays
    int m_keptLater = 0;     // texts of the last search left to keep later
    bool m_carrying = false; // walking the files a document carries
};

} // namespace search
