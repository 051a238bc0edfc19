#pragma once

#include "platform/core/text_encoding.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace search {

// The bytes that every occurrence of `keyword` in a file of `encoding` (GB18030, UTF-8 or Big5)
// must consist of, or nothing when there is no such single byte form (UTF-16 and declared
// charsets are searched by decoding).
//
// The keyword's bytes can stand in for it only when each of its characters comes out of exactly
// one byte sequence of the encoding. U+FFFD is made from any invalid bytes, so a keyword holding
// it has no byte form; so has a character the encoding cannot make, and an empty keyword. For
// GB18030 and Big5 the table of forms is read from the decoders themselves (every single byte,
// every lead byte with every next byte, every four-byte form of GB18030), so a character that two
// sequences decode to is never searched by its bytes.
std::optional<QByteArray> keywordBytes(const QString &keyword, platform::TextEncoding encoding);

// True when no byte sequence of `encoding` (GB18030 or Big5, by the same tables) decodes to the
// code unit `c`, so that no text in it holds `c`. False for U+FFFD (invalid bytes make it), for
// surrogates (GB18030 makes pairs), for the other encodings and when the table is not usable.
bool neverDecodedTo(char16_t c, platform::TextEncoding encoding);

// Builds the tables above (GB18030's and Big5's, read from the decoders: about 10 ms), once per
// process; until then the first search that needs one builds it.
void buildCodeTables();

} // namespace search
