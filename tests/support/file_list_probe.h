#pragma once

#include "platform/widgets/file_list.h"

#include <QList>
#include <QPoint>
#include <QStringList>

// What a file list shows, read the way a person sees it: names in list order, selected rows.

inline QStringList entryNames(const platform::FileList &list)
{
    QStringList names;
    for (int i = 0; i < list.entryCount(); ++i)
        names.append(list.entryName(i));
    return names;
}

inline QList<int> selectedRows(const platform::FileList &list)
{
    QList<int> rows;
    for (int i = 0; i < list.entryCount(); ++i) {
        if (list.isEntrySelected(i))
            rows.append(i);
    }
    return rows;
}

// The centre of an entry in the list's viewport, where a click lands on it.
inline QPoint entryCentre(const platform::FileList &list, int row)
{
    return list.visualRect(list.model()->index(row, 0)).center();
}
