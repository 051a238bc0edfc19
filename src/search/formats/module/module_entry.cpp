#include "search/formats/linked/linked_readers.h"

// The format module's entry. Everything else in the module (the readers and the static copies of
// the libraries below them) stays hidden, so that it never answers for a symbol of the program.
extern "C" __attribute__((visibility("default"))) const formats::Readers *
quarlex_readers(quint32 version)
{
    return version == formats::kReadersVersion ? &formats::linkedReaders() : nullptr;
}
