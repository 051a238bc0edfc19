#pragma once

#include <QString>

namespace search {

// Position of the first occurrence of `Str` in `StrFile`: 1-based, in UTF-16 code units (one
// Chinese character counts as one), 0 when absent. The comparison is exact and case-sensitive; an
// empty `Str` is present at position 1 of any text.
qsizetype FirstPosition(const QString &Str, const QString &StrFile);

// True when `Str` (the keyword) occurs in `StrFile` (a search text).
bool FindA(const QString &Str, const QString &StrFile);

// Number of characters before the first occurrence that the excerpt shows, and its length.
inline constexpr qsizetype kExcerptLead = 10;
inline constexpr qsizetype kExcerptLength = 30;

// The excerpt of a hit: at most 30 characters of `text` from position p - 10. When the
// occurrence lies within the first 10 characters (p - 10 < 1), the excerpt starts at the first
// character, so an entry can always be built.
QString excerptAt(const QString &text, qsizetype p);

} // namespace search
