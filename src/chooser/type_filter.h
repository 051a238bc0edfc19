#pragma once

#include <QString>
#include <QStringList>

namespace chooser {

// The file type filter of the chooser: five fixed items, each bound to a file list pattern.
// The patterns cover more extensions than the item texts name ("等": and others).

// The item texts, in the order they are added to the filter list.
QStringList filterItemTexts();

// The pattern choosing item `index` sets on the file list; a null string for an index outside
// the items (nothing chosen), which changes nothing.
QString patternForItem(int index);

// The pattern a text typed into (or set on) the filter sets: the text unchanged, "*.*" when it
// is empty.
QString patternForText(const QString &text);

} // namespace chooser
