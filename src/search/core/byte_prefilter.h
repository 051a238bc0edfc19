#pragma once

#include "platform/core/text_encoding.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace search {

// The keyword's bytes, searched in a file's joined field bytes before anything is decoded:
// wherever the search text holds the keyword, the joined bytes hold its byte form (a delimiter
// or quote never falls inside a character), so a file without that form has no hit, and only
// the places that hold it need decoding.
class BytePrefilter
{
public:
    explicit BytePrefilter(const QString &keyword);

    // True when the keyword can be searched by its bytes in a file of `encoding` (nothing: not
    // known yet, only ASCII has been read so far and either encoding may follow).
    bool usable(std::optional<platform::TextEncoding> encoding) const;

    // The bytes to look for in text of `encoding`; nothing when there are none (before the
    // encoding is known: a keyword with non-ASCII characters cannot occur in ASCII text).
    std::optional<QByteArray> needle(std::optional<platform::TextEncoding> encoding) const;

    // The first occurrence of `needle` in [begin, end), or nullptr.
    static const char *find(const char *begin, const char *end, const QByteArray &needle);

private:
    std::optional<QByteArray> m_ascii;
    std::optional<QByteArray> m_codePage;
    std::optional<QByteArray> m_utf8;
};

} // namespace search
