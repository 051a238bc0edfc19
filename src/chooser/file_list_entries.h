#pragma once

#include "search/core/entry_list.h"

namespace platform {
class FileList;
}

namespace chooser {

// The chooser's file list as the search run reads it: entries in list order, their marks
// (selected entries) and the folder listed.
class FileListEntries : public search::EntryList
{
public:
    explicit FileListEntries(const platform::FileList &files) : m_files(files) {}

    int entryCount() const override;
    QString entryName(int index) const override;
    bool isSelected(int index) const override;
    QString folderPath() const override;
    QStringList entryNames() const override;
    QList<bool> entryMarks() const override;

private:
    const platform::FileList &m_files;
};

} // namespace chooser
