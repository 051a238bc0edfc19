#pragma once

#include <QStringList>

namespace formats {

struct FormatTable;

enum class ModuleState {
    NotLoaded, // no document has been asked about yet
    Loaded,
    Missing, // not found, not loadable or from another build: no document is read
};

// The table of the format module, which is loaded on the first call (from any thread; the other
// callers wait for it). Null when the module cannot be used: one line then says why on stderr,
// once, and every document is read as a file no reader knows.
const FormatTable *table();

ModuleState moduleState();

// Where the module is looked for, in order: the file named by QUARLEX_FORMAT_MODULE when that is
// set (tests), then beside the executable (the build tree), then in ../lib/quarlex below it (the
// installed package).
QStringList moduleCandidates();

} // namespace formats
