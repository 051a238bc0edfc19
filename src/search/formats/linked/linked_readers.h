#pragma once

#include "search/formats/readers.h"

namespace formats {

// The readers linked into this binary: the registry of document readers and the archive walk.
// The format module hands out these; tests, benchmarks and fuzzers may use them directly.
const Readers &linkedReaders();

} // namespace formats
