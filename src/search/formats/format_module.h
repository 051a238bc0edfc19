#pragma once

#include "search/formats/readers.h"

#include <QStringList>

namespace formats {

enum class ModuleState {
    NotLoaded, // no document has been asked about yet
    Loaded,
    Missing, // not found, not loadable or from another build: no document is read
};

// The readers of the format module, which is loaded at the first question that needs it (from
// any thread; the other callers wait for it). When the module cannot be used, one line says why
// on stderr, once, and every document is read as a file no reader knows.
const Readers &moduleReaders();

// The readers a search uses when it is given none: the module's, unless a tool that links the
// readers in (a benchmark, a fuzzer) chose those at its start, before any search.
const Readers &defaultReaders();
void setDefaultReaders(const Readers &readers);

ModuleState moduleState();

// Where the module is looked for, in order: the file named by QUARLEX_FORMAT_MODULE when that is
// set (tests), then beside the executable (the build tree), then in ../lib/quarlex below it (the
// installed package).
QStringList moduleCandidates();

} // namespace formats
