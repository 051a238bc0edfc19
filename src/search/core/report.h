#pragma once

#include "search/match/match_test.h"

#include <QList>
#include <QString>

namespace search {

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
