#pragma once

#include <QList>
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

// The report body's entry for one matching file, from its name and excerpt.
QString hitEntryFromExcerpt(const QString &name, const QString &excerpt);

// The report body's entry for the file list entry `name` whose search text holds `keyword`.
QString HitEntry(const QString &name, const QString &searchText, const QString &keyword);

// The whole text of the report box: a header naming the folder, then the body. The separator "/"
// is always added after the folder, so the root folder "/" gives "//".
QString ReportText(const QString &folderPath, const QString &body);

// A marked file the run could not read, with the short reason shown for it.
struct UnreadableFile
{
    QString name;
    QString reason;
};

// The block listed after the hit entries for the files that could not be read; empty when there
// are none. It is visibly distinct from the hit entries, which keep their exact layout.
QString unreadableBlock(const QList<UnreadableFile> &files);

// The line that ends the report of a search the user cancelled.
QString cancelledLine();

} // namespace search
