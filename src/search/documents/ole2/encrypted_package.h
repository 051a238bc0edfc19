#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

namespace documents {

class CompoundFile;

// An Office Open XML document saved with a password is no ZIP package: it is an OLE2 compound file
// holding the EncryptionInfo and EncryptedPackage streams. Nothing of it can be read without the
// password, so its outcome is Encrypted.
class EncryptedPackageExtractor : public CompoundFileExtractor
{
public:
    Outcome extractFrom(const CompoundFile &file, const Source &source, TextSink &sink) override;
};

// True when the compound file holds the streams of an encrypted package.
bool isEncryptedPackage(const CompoundFile &file);

// The registry's row of this family.
extern const Format kEncryptedPackageFormat;

} // namespace documents
