#include "search/core/file_search.h"

#include "platform/core/field_cutter.h"
#include "search/core/keyword_bytes.h"
#include "search/core/report.h"
#include "search/core/utf8_decoder.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace search {

using platform::TextEncoding;

namespace {

// Decoding from a point this many joined bytes before a byte match yields at least the
// characters the excerpt shows before it (a character takes at most 4 bytes).
constexpr qint64 kLeadMargin = 4 * kExcerptLead + 24;

bool isUtf16(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
}

bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Appends what `decoder` makes of `bytes` to `text`.
void appendDecoded(QString &text, QStringDecoder &decoder, QByteArrayView bytes)
{
    const qsizetype old = text.size();
    text.resize(old + decoder.requiredSpace(bytes.size()));
    const QChar *end = decoder.appendToBuffer(text.data() + old, bytes);
    text.resize(end - text.constData());
}

// Ends a GBK field: a lead byte still pending becomes U+FFFD (a line feed is never a trail byte).
void finishCodePageField(QString &text, QStringDecoder &decoder)
{
    appendDecoded(text, decoder, QByteArrayView("\n", 1));
    text.chop(1);
    decoder.resetState();
}

// Finds the first occurrence of a keyword in a text that arrives in pieces, and collects the
// excerpt that starts 10 characters before it (or at the first character) and holds at most 30.
class TextMatcher
{
public:
    void begin(const QString &keyword)
    {
        m_keyword = keyword;
        m_tail.clear();
        m_seen = 0;
        m_excerpt.clear();
        m_found = keyword.isEmpty(); // present at position 1 of any text
        m_complete = false;
        m_tailLimit = kExcerptLead + std::max<qsizetype>(keyword.size() - 1, 0);
    }

    // The occurrence was found elsewhere; `excerpt` holds the excerpt up to here.
    void beginCollecting(const QString &excerpt)
    {
        m_found = true;
        m_complete = false;
        m_excerpt.clear();
        collect(excerpt);
    }

    void feed(QStringView text)
    {
        if (m_complete || text.isEmpty())
            return;
        if (m_found) {
            collect(text);
            return;
        }
        const QStringView keyword(m_keyword);
        const qsizetype k = keyword.size();
        qint64 start = -1;
        if (k > 1 && !m_tail.isEmpty()) {
            // Occurrences that begin in the kept tail and end in this piece.
            const QString joined = m_tail + text.left(k - 1);
            const qsizetype at = joined.indexOf(keyword);
            if (at >= 0)
                start = m_seen - m_tail.size() + at;
        }
        if (start < 0) {
            const qsizetype at = text.indexOf(keyword);
            if (at >= 0)
                start = m_seen + at;
        }
        if (start >= 0) {
            m_found = true;
            const qint64 from = std::max<qint64>(start - kExcerptLead, 0);
            if (from < m_seen) {
                collect(QStringView(m_tail).mid(from - (m_seen - m_tail.size())));
                collect(text);
            } else {
                collect(text.mid(from - m_seen));
            }
            return;
        }
        if (text.size() >= m_tailLimit) {
            m_tail = text.right(m_tailLimit).toString();
        } else {
            m_tail += text;
            if (m_tail.size() > m_tailLimit)
                m_tail.remove(0, m_tail.size() - m_tailLimit);
        }
        m_seen += text.size();
    }

    bool found() const { return m_found; }
    bool complete() const { return m_complete; }
    const QString &excerpt() const { return m_excerpt; }

private:
    void collect(QStringView text)
    {
        m_excerpt += text.left(kExcerptLength - m_excerpt.size());
        m_complete = m_excerpt.size() >= kExcerptLength;
    }

    QString m_keyword;
    QString m_tail; // the last characters seen, enough for the excerpt of a later occurrence
    qint64 m_seen = 0;
    qsizetype m_tailLimit = 0;
    QString m_excerpt;
    bool m_found = false;
    bool m_complete = false;
};

} // namespace

// One pass over one file, from its first byte.
class FileSearch::Pass
{
public:
    Pass(const FileSearchOptions &options, FileSearchStats &stats, const QString &keyword,
         const std::function<bool()> &keepGoing, bool bytesFirst)
        : m_options(options), m_stats(stats), m_keyword(keyword), m_keepGoing(keepGoing),
          m_bytesFirst(bytesFirst),
          m_history(std::max<qsizetype>(options.historySize, 4 * keyword.size() + 256))
    {}

    // The result, or nothing when the pass must start again decoding everything.
    // Reads `file` (open, at its start) to the end or until the answer is known.
    std::optional<FileSearchResult> run(QFile &file);

private:
    enum class Mode { ScanBytes, Decode };
    enum class Verdict { NotThere, Hit, Restart };

    struct JoinSink
    {
        Pass &pass;
        void append(const char *data, qsizetype size) { pass.join(data, size); }
    };
    struct DecodeSink
    {
        Pass &pass;
        void append(const char *data, qsizetype size) { pass.decodeBytes(data, size); }
    };
    struct TextSink
    {
        QString &text;
        void append(const char16_t *data, qsizetype size) { text.append(QStringView(data, size)); }
    };

    qint64 fill(qsizetype size);
    bool decideEncoding(qsizetype from);
    void chooseNeedle();
    std::optional<bool> processBytes(const char *begin, const char *end);
    void processText(const char *begin, const char *end);
    void endOfInput();

    void join(const char *data, qsizetype size);
    void markFieldStart();
    std::optional<bool> scanJoined();
    Verdict verify(qint64 at);
    bool isSyncPoint(qint64 at) const;
    void decodeJoined(qint64 from, qint64 to, bool endFieldsAtEnds);
    void trimJoined();

    void decodeBytes(const char *data, qsizetype size);
    void endField();
    void noteBuffers();

    const char *joinedAt(qint64 offset) const { return m_joined.data() + (offset - m_joinedBase); }
    qint64 joinedEnd() const { return m_joinedBase + m_joinedSize; }

    const FileSearchOptions &m_options;
    FileSearchStats &m_stats;
    const QString &m_keyword;
    const std::function<bool()> &m_keepGoing;
    const bool m_bytesFirst;
    const qsizetype m_history;

    QFile *m_file = nullptr;
    QByteArray m_raw;
    qint64 m_passRead = 0; // bytes this pass has read
    qint64 m_bomLength = 0;
    bool m_decided = false;
    TextEncoding m_encoding = TextEncoding::Gbk;
    Mode m_mode = Mode::Decode;

    platform::FieldCutter<char> m_cutter;
    platform::FieldCutter<char16_t> m_textCutter;
    QStringDecoder m_codePage;
    QStringDecoder m_utf16;
    Utf8Decoder m_utf8;
    QString m_utf16Text;
    QString m_text; // decoded text of the current chunk, not yet given to the matcher
    TextMatcher m_matcher;

    // The joined field bytes of the current chunk and some before it, from m_joinedBase on.
    std::vector<char> m_joined; // its first m_joinedSize bytes are in use
    qsizetype m_joinedSize = 0;
    qint64 m_joinedBase = 0;
    std::vector<qint64> m_fieldStarts; // joined offsets where fields begin (decoder resets)
    qint64 m_scanFrom = 0;
    std::optional<QByteArray> m_codePageNeedle;
    std::optional<QByteArray> m_utf8Needle;
    QByteArray m_needle;
    bool m_needleReady = false;
};

qint64 FileSearch::Pass::fill(qsizetype size)
{
    const qsizetype old = m_raw.size();
    m_raw.resize(old + size);
    qint64 got = 0;
    while (got < size) {
        const qint64 n = m_file->read(m_raw.data() + old + got, size - got);
        if (n < 0) {
            m_raw.resize(old + got);
            return -1;
        }
        if (n == 0)
            break;
        got += n;
    }
    m_raw.resize(old + got);
    m_stats.bytesRead += got;
    m_passRead += got;
    return got;
}

// Looks for the first non-ASCII byte in m_raw from `from` on; once found, the encoding follows
// from the window of bytes that starts there. False on a read error.
bool FileSearch::Pass::decideEncoding(qsizetype from)
{
    const qsizetype first = platform::firstNonAscii(QByteArrayView(m_raw).sliced(from));
    if (first < 0)
        return true;
    const qsizetype start = from + first;
    while (m_raw.size() - start < platform::kSniffWindow) {
        const qint64 got = fill(platform::kSniffWindow - (m_raw.size() - start));
        if (got < 0)
            return false;
        if (got == 0)
            break;
    }
    const QByteArrayView window = QByteArrayView(m_raw).sliced(
        start, std::min<qsizetype>(m_raw.size() - start, platform::kSniffWindow));
    const bool endsHere = window.size() < platform::kSniffWindow;
    m_encoding =
        platform::isValidUtf8Window(window, endsHere) ? TextEncoding::Utf8 : TextEncoding::Gbk;
    m_decided = true;
    m_stats.encoding = m_encoding;
    if (m_mode == Mode::ScanBytes)
        chooseNeedle();
    return true;
}

// The bytes to scan for. Before the encoding is known only ASCII has been read, which is its
// own text in both encodings, so an ASCII keyword is its bytes; once it is known, the keyword's
// byte form in that encoding (none: the pass starts again, decoding everything).
void FileSearch::Pass::chooseNeedle()
{
    std::optional<QByteArray> needle;
    if (m_decided)
        needle = m_encoding == TextEncoding::Utf8 ? m_utf8Needle : m_codePageNeedle;
    else if (!m_keyword.isEmpty() && isAscii(m_keyword))
        needle = m_keyword.toLatin1();
    m_needleReady = needle.has_value();
    if (needle)
        m_needle = *needle;
}

std::optional<FileSearchResult> FileSearch::Pass::run(QFile &file)
{
    FileSearchResult result;
    m_file = &file;
    const auto readError = [&] {
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = ReadStatus::ReadError;
        return result;
    };

    const qsizetype chunk = std::max<qsizetype>(m_options.chunkSize, 1);
    m_raw.reserve(std::max<qsizetype>(chunk, 3) + platform::kSniffWindow);
    if (fill(std::max<qsizetype>(chunk, 3)) < 0)
        return readError();
    qsizetype offset = 0;
    if (const auto bom = platform::detectBom(m_raw)) {
        m_encoding = bom->encoding;
        m_bomLength = bom->length;
        m_decided = true;
        offset = bom->length;
    }
    m_stats.encoding = m_encoding;

    if (isUtf16(m_encoding)) {
        m_mode = Mode::Decode;
        m_utf16 = platform::makeDecoder(m_encoding);
    } else {
        m_codePage = platform::makeDecoder(TextEncoding::Gbk);
        if (m_bytesFirst) {
            m_codePageNeedle = keywordBytes(m_keyword, TextEncoding::Gbk);
            m_utf8Needle = keywordBytes(m_keyword, TextEncoding::Utf8);
            const bool possible =
                m_decided ? bool(m_encoding == TextEncoding::Utf8 ? m_utf8Needle : m_codePageNeedle)
                          : ((!m_keyword.isEmpty() && isAscii(m_keyword)) || m_codePageNeedle ||
                             m_utf8Needle);
            m_mode = possible ? Mode::ScanBytes : Mode::Decode;
        }
        if (m_mode == Mode::ScanBytes) {
            m_stats.bytesSearched = true;
            m_fieldStarts.push_back(0);
            chooseNeedle();
        }
    }
    if (m_mode == Mode::Decode)
        m_matcher.begin(m_keyword);

    for (;;) {
        if (m_raw.size() == offset) {
            // Nothing after the byte-order mark yet.
            m_raw.resize(0);
            offset = 0;
            if (fill(chunk) < 0)
                return readError();
            if (m_raw.isEmpty())
                break; // end of the file
        }
        if (!m_decided && !decideEncoding(offset))
            return readError();
        if (m_mode == Mode::ScanBytes && m_decided && !m_needleReady)
            return std::nullopt; // no byte form in this file's encoding
        const char *begin = m_raw.constData() + offset;
        const char *end = m_raw.constData() + m_raw.size();
        if (isUtf16(m_encoding)) {
            processText(begin, end);
        } else if (const auto go = processBytes(begin, end); !go) {
            return std::nullopt;
        }
        noteBuffers();
        if (m_mode == Mode::Decode && m_matcher.complete())
            break;
        if (m_keepGoing && !m_keepGoing()) {
            result.outcome = FileSearchResult::Outcome::Stopped;
            return result;
        }
        m_raw.resize(0);
        offset = 0;
        if (fill(chunk) < 0)
            return readError();
    }
    if (!(m_mode == Mode::Decode && m_matcher.complete()))
        endOfInput();
    if (m_mode == Mode::Decode && m_matcher.found()) {
        result.outcome = FileSearchResult::Outcome::Hit;
        result.excerpt = m_matcher.excerpt();
    }
    return result;
}

// Cuts a chunk of a byte-encoded file into fields. Returns false when the pass must restart.
std::optional<bool> FileSearch::Pass::processBytes(const char *begin, const char *end)
{
    const char *p = begin;
    if (m_mode == Mode::ScanBytes) {
        // A chunk adds at most its own size to the joined bytes.
        if (qsizetype(m_joined.size()) < m_joinedSize + (end - begin))
            m_joined.resize(size_t(m_joinedSize + (end - begin)));
        JoinSink sink{*this};
        while (p < end) {
            if (m_cutter.cut(p, end, sink))
                markFieldStart();
        }
        return scanJoined();
    }
    DecodeSink sink{*this};
    while (p < end) {
        if (m_cutter.cut(p, end, sink))
            endField();
    }
    m_matcher.feed(m_text);
    m_text.resize(0);
    return true;
}

void FileSearch::Pass::processText(const char *begin, const char *end)
{
    const qsizetype old = m_utf16Text.size();
    m_utf16Text.resize(old + m_utf16.requiredSpace(end - begin));
    const QChar *decodedEnd =
        m_utf16.appendToBuffer(m_utf16Text.data() + old, QByteArrayView(begin, end - begin));
    m_utf16Text.resize(decodedEnd - m_utf16Text.constData());
    const auto *p = reinterpret_cast<const char16_t *>(m_utf16Text.constData());
    const char16_t *textEnd = p + m_utf16Text.size();
    TextSink sink{m_text};
    while (p < textEnd)
        m_textCutter.cut(p, textEnd, sink);
    m_utf16Text.resize(0);
    m_matcher.feed(m_text);
    m_text.resize(0);
}

void FileSearch::Pass::endOfInput()
{
    if (isUtf16(m_encoding)) {
        if ((m_passRead - m_bomLength) % 2 != 0) {
            // A dangling odd byte: the decoder keeps it pending, the reader makes it U+FFFD.
            const char16_t replacement = 0xFFFD;
            const char16_t *p = &replacement;
            TextSink sink{m_text};
            while (p < &replacement + 1)
                m_textCutter.cut(p, &replacement + 1, sink);
            m_matcher.feed(m_text);
            m_text.resize(0);
        }
        return;
    }
    if (m_mode == Mode::Decode) {
        endField(); // the end of the file ends the last field (an unclosed quote too)
        m_matcher.feed(m_text);
        m_text.resize(0);
    }
}

// --- Searching the joined field bytes ----------------------------------------------------------

void FileSearch::Pass::join(const char *data, qsizetype size)
{
    std::memcpy(m_joined.data() + m_joinedSize, data, size_t(size));
    m_joinedSize += size;
}

void FileSearch::Pass::markFieldStart()
{
    const qint64 at = joinedEnd();
    if (m_fieldStarts.empty() || m_fieldStarts.back() != at)
        m_fieldStarts.push_back(at);
}

// Scans the joined bytes for the keyword's bytes and checks each match by decoding around it.
// Returns false when the pass must restart.
std::optional<bool> FileSearch::Pass::scanJoined()
{
    if (!m_needleReady) {
        // An ASCII-only start of the file cannot hold a keyword with non-ASCII characters.
        trimJoined();
        return true;
    }
    const qsizetype n = m_needle.size();
    qint64 from = std::max(m_scanFrom, m_joinedBase);
    for (;;) {
        const qsizetype local = from - m_joinedBase;
        if (local + n > m_joinedSize)
            break;
        const void *hit =
            memmem(m_joined.data() + local, m_joinedSize - local, m_needle.constData(), n);
        if (!hit)
            break;
        const qint64 at = m_joinedBase + (static_cast<const char *>(hit) - m_joined.data());
        ++m_stats.candidatesChecked;
        switch (verify(at)) {
        case Verdict::NotThere:
            from = at + 1;
            continue;
        case Verdict::Restart:
            return std::nullopt;
        case Verdict::Hit:
            return true;
        }
    }
    m_scanFrom = std::max<qint64>(from, joinedEnd() - (n - 1));
    trimJoined();
    return true;
}

// True when decoding may start at joined offset `at` with a fresh decoder: the bytes before it
// leave nothing pending, so the text from there on is what decoding the whole field gives.
bool FileSearch::Pass::isSyncPoint(qint64 at) const
{
    const auto byte = [&](qint64 offset) { return static_cast<uchar>(*joinedAt(offset)); };
    if (!m_decided)
        return true; // nothing but ASCII so far: every byte is a character of its own
    if (m_encoding == TextEncoding::Gbk) {
        // A byte below 0x40 is neither a lead nor a trail byte.
        return at - 1 >= m_joinedBase && byte(at - 1) < 0x40;
    }
    // UTF-8: no lead byte in the last three bytes that still waits for continuation bytes.
    for (qint64 k = 1; k <= 3; ++k) {
        if (at - k < m_joinedBase)
            return false;
        const uchar b = byte(at - k);
        if ((b & 0xC0) == 0x80)
            continue;
        if (b >= 0xC2 && b <= 0xF4) {
            const int needed = b < 0xE0 ? 2 : (b < 0xF0 ? 3 : 4);
            return needed <= k;
        }
        return true;
    }
    return true;
}

FileSearch::Pass::Verdict FileSearch::Pass::verify(qint64 at)
{
    // A point to decode from, far enough before the match for the excerpt's lead.
    const qint64 target = at - kLeadMargin;
    qint64 start = -1;
    if (target <= 0) {
        if (m_joinedBase != 0)
            return Verdict::Restart;
        start = 0;
    } else {
        const auto it = std::upper_bound(m_fieldStarts.begin(), m_fieldStarts.end(), target);
        const qint64 field = it == m_fieldStarts.begin() ? -1 : *(it - 1);
        for (qint64 x = target; x > std::max(field, m_joinedBase); --x) {
            if (isSyncPoint(x)) {
                start = x;
                break;
            }
        }
        if (start < 0) {
            if (field < m_joinedBase)
                return Verdict::Restart; // the history holds no place to start from
            start = field;
        }
    }

    const qint64 matchEnd = at + m_needle.size();
    m_text.resize(0);
    m_codePage.resetState();
    m_utf8.reset();
    decodeJoined(start, matchEnd, false);
    if (!m_text.endsWith(m_keyword)) {
        m_text.resize(0);
        return Verdict::NotThere;
    }
    const qsizetype before = m_text.size() - m_keyword.size();
    if (before < kExcerptLead && start != 0)
        return Verdict::Restart;

    // A hit: from here on decode everything, just to complete the excerpt.
    m_mode = Mode::Decode;
    m_matcher.beginCollecting(m_text.mid(std::max<qsizetype>(before - kExcerptLead, 0)));
    m_text.resize(0);
    if (!m_matcher.complete()) {
        decodeJoined(matchEnd, joinedEnd(), true);
        m_matcher.feed(m_text);
        m_text.resize(0);
    }
    return Verdict::Hit;
}

// Decodes the joined bytes [from, to) into m_text, ending the fields that end inside. With
// `endFieldsAtEnds`, a field that ends exactly at `from` or at `to` is ended too: set when the
// range continues a decoding that stopped at `from` and runs to the end of the joined bytes, so
// that the pieces cut after it begin a new field.
void FileSearch::Pass::decodeJoined(qint64 from, qint64 to, bool endFieldsAtEnds)
{
    auto it = std::lower_bound(m_fieldStarts.begin(), m_fieldStarts.end(), from);
    if (it != m_fieldStarts.end() && *it == from) {
        if (endFieldsAtEnds)
            endField();
        ++it;
    }
    qint64 pos = from;
    for (; it != m_fieldStarts.end() && *it < to; ++it) {
        decodeBytes(joinedAt(pos), *it - pos);
        endField();
        pos = *it;
    }
    if (to > pos)
        decodeBytes(joinedAt(pos), to - pos);
    if (endFieldsAtEnds && to > from && it != m_fieldStarts.end() && *it == to)
        endField();
}

void FileSearch::Pass::trimJoined()
{
    // Keep m_history bytes; move them down only once twice that has gathered.
    const qsizetype size = m_joinedSize;
    if (size <= 2 * m_history)
        return;
    const qsizetype drop = size - m_history;
    std::memmove(m_joined.data(), m_joined.data() + drop, size_t(m_history));
    m_joinedSize = m_history;
    m_joinedBase += drop;
    m_scanFrom = std::max(m_scanFrom, m_joinedBase);
    const auto keep = std::lower_bound(m_fieldStarts.begin(), m_fieldStarts.end(), m_joinedBase);
    m_fieldStarts.erase(m_fieldStarts.begin(), keep);
}

// --- Decoding -----------------------------------------------------------------------------------

void FileSearch::Pass::decodeBytes(const char *data, qsizetype size)
{
    if (size == 0)
        return;
    if (!m_decided) {
        // Nothing but ASCII so far, which reads the same in GBK and in UTF-8.
        const qsizetype old = m_text.size();
        m_text.resize(old + size);
        char16_t *out = reinterpret_cast<char16_t *>(m_text.data()) + old;
        for (qsizetype i = 0; i < size; ++i)
            out[i] = static_cast<uchar>(data[i]);
        return;
    }
    if (m_encoding == TextEncoding::Utf8) {
        const qsizetype old = m_text.size();
        m_text.resize(old + size + 3);
        char16_t *begin = reinterpret_cast<char16_t *>(m_text.data());
        char16_t *out = m_utf8.decode(data, size, begin + old);
        m_text.resize(out - begin);
        return;
    }
    appendDecoded(m_text, m_codePage, QByteArrayView(data, size));
}

void FileSearch::Pass::endField()
{
    if (!m_decided)
        return;
    if (m_encoding == TextEncoding::Utf8) {
        const qsizetype old = m_text.size();
        m_text.resize(old + 3);
        char16_t *begin = reinterpret_cast<char16_t *>(m_text.data());
        m_text.resize(m_utf8.finish(begin + old) - begin);
        return;
    }
    finishCodePageField(m_text, m_codePage);
}

void FileSearch::Pass::noteBuffers()
{
    const qsizetype held = m_raw.capacity() + qsizetype(m_joined.capacity()) +
                           qsizetype(m_fieldStarts.capacity() * sizeof(qint64)) +
                           (m_text.capacity() + m_utf16Text.capacity()) * 2;
    m_stats.peakBufferBytes = std::max(m_stats.peakBufferBytes, held);
}

// --- FileSearch ---------------------------------------------------------------------------------

FileSearch::FileSearch(FileSearchOptions options) : m_options(options) {}

FileSearch::~FileSearch() = default;

FileSearchResult FileSearch::search(const QString &path, const QString &keyword,
                                    const std::function<bool()> &keepGoing)
{
    m_stats = FileSearchStats();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        FileSearchResult result;
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = classifyOpenFailure(path);
        return result;
    }
    {
        Pass pass(m_options, m_stats, keyword, keepGoing, m_options.bytesFirst);
        if (auto result = pass.run(file))
            return *result;
    }
    // The bytes could not settle it (no byte form in this file's encoding, or no place to
    // start decoding near a match): read the same open file again and decode all of it.
    const qint64 readBefore = m_stats.bytesRead;
    m_stats = FileSearchStats();
    m_stats.restarted = true;
    m_stats.bytesRead = readBefore;
    if (!file.seek(0)) {
        FileSearchResult result;
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = ReadStatus::ReadError;
        return result;
    }
    Pass pass(m_options, m_stats, keyword, keepGoing, false);
    return pass.run(file).value_or(FileSearchResult());
}

} // namespace search
