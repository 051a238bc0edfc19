#pragma once

#include "platform/core/field_cutter.h"
#include "platform/core/text_encoding.h"
#include "platform/core/work_monitor.h"
#include "search/core/file_search.h"
#include "search/match/byte_prefilter.h"
#include "search/match/byte_scan.h"
#include "search/match/field_decoder.h"
#include "search/match/text_field_matcher.h"
#include "search/match/text_matcher.h"

#include <optional>

namespace search {

// One pass over one file, from its first byte: the bytes are read in chunks, the encoding is
// decided, and the fields are cut and either scanned as bytes (ByteScan) or decoded and matched
// (FieldDecoder, TextMatcher). Files not cut on their bytes (UTF-16, some declared charsets) are
// decoded first and matched as text.
class TextPass
{
public:
    // `raw`: the buffer for the file's bytes, holding its first chunk already.
    TextPass(const FileSearchOptions &options, FileSearchStats &stats, const Keyword &keyword,
             platform::WorkMonitor &monitor, bool bytesFirst, QByteArray &raw)
        : m_options(options), m_stats(stats), m_keyword(keyword.text()), m_monitor(monitor),
          m_bytesFirst(bytesFirst), m_raw(raw), m_prefilter(keyword.bytes()),
          m_scan(m_keyword, options.historySize)
    {}

    // The result, or nothing when the pass must start again decoding everything. Reads the
    // file (open just after its first chunk) to the end or until the answer is known.
    std::optional<FileSearchResult> run(ByteSource &file);

private:
    enum class Mode { ScanBytes, Decode, Text };

    struct DecodeSink
    {
        TextPass &pass;
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
    platform::WorkMonitor &m_monitor;
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

} // namespace search
