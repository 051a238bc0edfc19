#pragma once

#include <QString>

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
};

// Where a finished run puts its report (the launcher's report box).
class ReportSink
{
public:
    virtual ~ReportSink() = default;
    virtual void setReport(const QString &report) = 0;
};

} // namespace search
