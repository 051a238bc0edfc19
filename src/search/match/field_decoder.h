#pragma once

#include "platform/core/gb18030.h"
#include "platform/core/text_encoding.h"
#include "search/match/utf8_decoder.h"

#include <QString>

#include <optional>

namespace search {

// Decodes the bytes of text fields of a file cut on its bytes (GB18030, UTF-8, Big5, a declared
// charset: platform::cutsAsBytes), each field fed in pieces, appending to a string exactly what
// decoding each whole field at once gives: a multi-byte sequence left incomplete at the end of a
// field becomes U+FFFD.
//
// Until the file's encoding is known only ASCII has been read, which reads the same in all of
// them, and the bytes are taken as they are.
class FieldDecoder
{
public:
    void setEncoding(const platform::Encoding &encoding);
    std::optional<platform::TextEncoding> encoding() const { return m_encoding; }

    void append(QString &text, const char *data, qsizetype size);
    void endField(QString &text);
    // Forgets a sequence pending from earlier bytes, to decode from another place.
    void reset();
    // True when the bytes fed so far end in a lead byte and a digit, which the next two bytes may
    // make a four-byte GB18030 sequence of; endField() then gives what the bytes read as when the
    // next ones do not.
    bool pending() const;

private:
    std::optional<platform::TextEncoding> m_encoding;
    platform::Gb18030Decoder m_gb18030;
    Utf8Decoder m_utf8;
    QStringDecoder m_other; // Big5 and declared charsets
};

} // namespace search
