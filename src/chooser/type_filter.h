#pragma once

#include <QString>
#include <QStringList>

namespace chooser {

// The file type filter of the chooser: six fixed items, each bound to a file list pattern.
// The patterns cover more extensions than the item texts name ("等": and others). The sixth,
// after the five of old, lists the folder with all its subfolders ("**/*").

// The item texts, in the order they are added to the filter list.
QStringList filterItemTexts();

// The item whose text the filter shows after the load: "全部文件（*.*）", the fifth.
inline constexpr int kLoadItem = 4;
QString loadItemText();

// The pattern choosing item `index` sets on the file list; a null string for an index outside
// the items (nothing chosen), which changes nothing.
QString patternForItem(int index);

// The pattern a text typed into (or set on) the filter sets: the text unchanged, "*.*" when it
// is empty.
QString patternForText(const QString &text);

} // namespace chooser
