#pragma once

#include "search/documents/extractor.h"

namespace documents {

class CompoundFile;

// An Office Open XML document saved with a password is no ZIP package: it is an OLE2 compound file
// holding the EncryptionInfo and EncryptedPackage streams. Nothing of it can be read without the
// password, so its outcome is Encrypted.
class EncryptedPackageExtractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) override;
};

// True when the compound file holds the streams of an encrypted package.
bool isEncryptedPackage(const CompoundFile &file);

} // namespace documents
