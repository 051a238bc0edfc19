#pragma once

#include "search/documents/extractor.h"

namespace documents {

// An Office Open XML document saved with a password is no ZIP package: it is an OLE2 compound file
// holding the EncryptionInfo and EncryptedPackage streams. Nothing of it can be read without the
// password, so its outcome is Encrypted.
class EncryptedPackageExtractor : public Extractor
{
public:
    Outcome extract(const QString &path, TextSink &sink) override;
};

// True when the OLE2 compound file at `path` holds the streams of an encrypted package (read
// through libgsf).
bool isEncryptedPackage(const QString &path);

} // namespace documents
