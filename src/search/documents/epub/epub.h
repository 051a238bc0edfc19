#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

namespace documents {

class ZipPackage;

// True for an EPUB package: its mimetype entry says application/epub+zip, or its
// META-INF/container.xml names a package document (an OPF rootfile).
bool isEpubPackage(const ZipPackage &package);

// EPUB e-books (2 and 3). META-INF/container.xml names the package document (the OPF); its spine
// lists the content documents in reading order, and its manifest where each one is (a path
// relative to the OPF). The text is that of every XHTML or HTML document of the spine, in spine
// order (linear or not), laid out as readHtmlPart says; documents of other types (SVG, images)
// have none. Items the spine names twice are read twice, as a reader shows them twice.
//
// A package whose META-INF/encryption.xml lists any resource that is not a font is Encrypted
// (fonts are obfuscated by many publishers; the text is readable). A package without a readable
// container or package document is Damaged; so is one whose spine names a document that is not
// in the package, after the text of every document that is.
class EpubExtractor : public PackageExtractor
{
public:
    Outcome extractFrom(const ZipPackage &package, TextSink &sink) override;
};

// The registry's row of this family.
extern const Format kEpubFormat;

// True when the file starts with an EPUB book's stored mimetype entry.
bool isEpubHead(const Source &source);

} // namespace documents
