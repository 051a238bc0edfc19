#pragma once

#include "search/core/entry_list.h"
#include "search/core/search_run.h"

#include <QList>

// A file list as the chooser would show it: entries in list order with their marks.
class FakeEntryList : public search::EntryList
{
public:
    QString folder;
    QList<search::RunEntry> entries;

    int entryCount() const override { return int(entries.size()); }
    QString entryName(int index) const override { return entries.at(index).name; }
    bool isSelected(int index) const override { return entries.at(index).selected; }
    QString folderPath() const override { return folder; }
};
