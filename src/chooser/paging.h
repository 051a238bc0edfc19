#pragma once

namespace chooser {

enum class PageDirection { Up, Down };

// Entries the paging buttons move the selection by.
inline constexpr int kPageStep = 20;

// The one entry the paging buttons leave selected: the current entry (-1 for none) moved by
// kPageStep; when that lies outside the list, the first entry (up) or the last entry (down).
// Returns -1 for an empty list, where nothing is selected.
int pageTarget(int current, int count, PageDirection direction);

} // namespace chooser
