#pragma once

#include "search/core/entry_list.h"
#include "search/core/report.h"

#include <QList>
#include <QString>

namespace formats {
class Readers;
}

namespace search {

struct FileSearchResult;

// Copies the member of an archive that `hit` names out to be opened, with `readers` (null: the
// format module's): the copy's path, or empty when it cannot be made (formats::Readers).
QString copyHitMember(const ReportHit &hit, const formats::Readers *readers = nullptr);

// The report of one run, fed file by file in list order as the run searches them: the hit
// entries (one per file, or one per member of an archive), the block of files that could not be
// read, the line of a cancelled run, and where each hit entry stands in the whole text (which the
// report box needs to open the file under the caret).
//
// Names and the folder are held as the file list holds them (platform/core/paths.h) and shown
// through visibleName(). When every file was read and nothing was cancelled, the text is exactly
// the header and the hit entries.
class RunReport
{
public:
    explicit RunReport(QString folderPath = {}) : m_folderPath(std::move(folderPath)) {}

    // The entry `name` at `path` was searched with `result`. A file whose search the cancel cut
    // short (Stopped) is left out.
    void add(const QString &name, const QString &path, const FileSearchResult &result);
    void setCancelled() { m_cancelled = true; }

    bool hasHits() const { return !m_body.isEmpty(); }
    // The whole text for the report box.
    QString text() const;
    // The hit entries of text(), in list order.
    QList<ReportHit> hits() const;

private:
    void addHit(const QString &shownName, const QString &path, const QString &excerpt,
                const QList<int> &member);

    QString m_folderPath;
    QString m_body;
    QList<ReportHit> m_hits; // start is the offset in m_body
    QList<UnreadableFile> m_unreadable;
    bool m_cancelled = false;
};

} // namespace search
