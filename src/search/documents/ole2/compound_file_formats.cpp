#include "search/documents/format_support.h"
#include "search/documents/ole2/encrypted_package.h"
#include "search/documents/ole2/excel97.h"
#include "search/documents/ole2/powerpoint97.h"
#include "search/documents/ole2/word97.h"

// The families kept in OLE2 compound files, told by the streams of the root storage. Any other
// compound file (an installer, a mail message, a thumbnail cache) is read as plain bytes.
namespace documents {

namespace {

// A compound file whose directory cannot be read (cut short, as an interrupted download leaves
// it): the start of a Word, Excel or PowerPoint stream at a sector boundary still tells what it
// was, and extraction then reports it damaged. Streams start at a 512-byte sector or, when small,
// at a 64-byte sector of the mini stream.
Kind damagedCompoundFileKind(QByteArrayView bytes)
{
    for (qsizetype at = 512; at + 8 <= bytes.size(); at += 64) {
        const QByteArrayView start = bytes.sliced(at, 8);
        if (isWord97Fib(start))
            return Kind::Word97;
        // BOF of the workbook globals, BIFF8 or BIFF5 ([MS-XLS] 2.4.21).
        if (le16(start, 0) == 0x0809 && (le16(start, 2) == 16 || le16(start, 2) == 8) &&
            (le16(start, 4) == 0x0600 || le16(start, 4) == 0x0500) && le16(start, 6) == 0x0005)
            return Kind::Excel97;
        // The DocumentContainer record that opens a PowerPoint Document stream ([MS-PPT] 2.4.1).
        if (le16(start, 0) == 0x000F && le16(start, 2) == 0x03E8)
            return Kind::PowerPoint97;
    }
    return Kind::NotDocument;
}

// The kind of a compound file by its streams; an encrypted Office package before the others.
Kind compoundFileKind(Probe &probe)
{
    const CompoundFile *file = probe.compoundFile();
    if (!file)
        return damagedCompoundFileKind(probe.start());
    if (isEncryptedPackage(*file))
        return Kind::EncryptedPackage;
    if (file->contains("WordDocument")) {
        QByteArray fib;
        file->read("WordDocument", fib, 4);
        return isWord97Fib(fib) ? Kind::Word97 : Kind::NotDocument;
    }
    if (file->contains("Workbook") || file->contains("Book"))
        return Kind::Excel97;
    if (file->contains("PowerPoint Document"))
        return Kind::PowerPoint97;
    return Kind::NotDocument;
}

template <Kind kind> bool isOfKind(Probe &probe)
{
    std::optional<Kind> &found = probe.containerKind();
    if (!found)
        found = compoundFileKind(probe);
    return *found == kind;
}

} // namespace

const Format kEncryptedPackageFormat{
    Kind::EncryptedPackage,
    "1",
    hasCompoundFileSignature,
    isOfKind<Kind::EncryptedPackage>,
    openCompoundFile<EncryptedPackageExtractor, kEncryptedPackageFormat>,
    false,
    nullptr};
const Format kWord97Format{Kind::Word97,
                           "1",
                           hasCompoundFileSignature,
                           isOfKind<Kind::Word97>,
                           openCompoundFile<Word97Extractor, kWord97Format>,
                           false,
                           nullptr};
const Format kExcel97Format{Kind::Excel97,
                            "2", // 2: numbers as their cells' number formats show them
                            hasCompoundFileSignature,
                            isOfKind<Kind::Excel97>,
                            openCompoundFile<Excel97Extractor, kExcel97Format>,
                            false,
                            nullptr};
const Format kPowerPoint97Format{Kind::PowerPoint97,
                                 "2",
                                 hasCompoundFileSignature,
                                 isOfKind<Kind::PowerPoint97>,
                                 openCompoundFile<PowerPoint97Extractor, kPowerPoint97Format>,
                                 false,
                                 nullptr};

} // namespace documents
