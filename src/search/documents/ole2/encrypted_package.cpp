#include "search/documents/ole2/encrypted_package.h"

#include "search/documents/ole2/compound_file.h"

namespace documents {

bool isEncryptedPackage(const CompoundFile &file)
{
    return file.contains("EncryptionInfo") && file.contains("EncryptedPackage");
}

Outcome EncryptedPackageExtractor::extractFrom(const CompoundFile &file, const Source &, TextSink &)
{
    return isEncryptedPackage(file) ? Outcome::Encrypted : Outcome::Damaged;
}

} // namespace documents
