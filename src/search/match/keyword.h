#pragma once

#include "search/match/byte_prefilter.h"
#include "search/match/text_summary.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace search {

// The keyword as a search uses it, compiled once when a run takes it: its text, its byte forms
// per encoding (BytePrefilter), the UTF-8 forms of its non-ASCII characters, which a document's
// raw bytes are screened for, and the probe a kept text's summary is tested with (TextSummary).
// Every file and every worker of the run reads the same value; none of it is rebuilt per file or
// per document.
class Keyword
{
public:
    explicit Keyword(const QString &text);
    Keyword(const Keyword &) = delete;
    Keyword &operator=(const Keyword &) = delete;

    // A compiled keyword to share between the run and its workers.
    static std::shared_ptr<const Keyword> compile(const QString &text)
    {
        return std::make_shared<const Keyword>(text);
    }

    const QString &text() const { return m_bytes.keyword(); }
    const BytePrefilter &bytes() const { return m_bytes; }
    // The UTF-8 forms of the keyword's distinct non-ASCII characters (at most kMaxCharacters),
    // without U+FFFD and lone surrogates, which have no byte form of their own in UTF-8 text.
    const std::vector<QByteArray> &utf8Characters() const { return m_utf8Characters; }
    const TextSummary::Probe &summaryProbe() const { return m_summaryProbe; }

    static constexpr std::size_t kMaxCharacters = 8;
    // utf8Characters() of `text`, without compiling the rest.
    static std::vector<QByteArray> utf8CharactersOf(QStringView text);

private:
    BytePrefilter m_bytes;
    std::vector<QByteArray> m_utf8Characters;
    TextSummary::Probe m_summaryProbe;
};

} // namespace search
