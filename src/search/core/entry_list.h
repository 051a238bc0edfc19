#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace search {

// What a search run reads from the file list: entries in list order, their marks, the folder.
class EntryList
{
public:
    virtual ~EntryList() = default;
    virtual int entryCount() const = 0;
    virtual QString entryName(int index) const = 0;
    virtual bool isSelected(int index) const = 0;
    virtual QString folderPath() const = 0;

    // Every entry's name and mark, in list order, taken in one pass (a list of a hundred
    // thousand entries is read when a run starts). By default entryName() and isSelected() of
    // each entry.
    virtual QStringList entryNames() const
    {
        QStringList names;
        const int count = entryCount();
        names.reserve(count);
        for (int i = 0; i < count; ++i)
            names.append(entryName(i));
        return names;
    }
    virtual QList<bool> entryMarks() const
    {
        QList<bool> marks;
        const int count = entryCount();
        marks.reserve(count);
        for (int i = 0; i < count; ++i)
            marks.append(isSelected(i));
        return marks;
    }
};

// One hit entry of a report: the file it names and the characters of the report text it takes
// (from the name line to the blank line after the excerpt), so that the file can be found from
// the entry without reading anything back out of the text.
struct ReportHit
{
    QString path; // the full path of the file, as the run built it: folder, "/", name
    qsizetype start = 0;
    qsizetype length = 0;
    // For a member of an archive (`path` is then the archive's): its entry index at each level
    // of nesting, from which the readers copy it out to be opened. Empty for a file.
    QList<int> member;
};

// Where a finished run puts its report (the launcher's report box).
class ReportSink
{
public:
    virtual ~ReportSink() = default;
    // `hits` are the report's hit entries, in the order the report lists them.
    virtual void setReport(const QString &report, const QList<ReportHit> &hits) = 0;
};

} // namespace search
