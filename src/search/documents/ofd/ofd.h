#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

#include <QByteArrayView>

namespace documents {

// OFD files (fixed-layout documents: e-invoices, official documents): a ZIP package whose OFD.xml
// has an ofd:OFD root.
//
// - Every document of the package (DocBody, in order), through its DocRoot (Document.xml).
// - Pages in the order of the document's Pages list. A page's text is the TextCode text of its
//   TextObjects in content order; the TextCode elements of one TextObject are joined, and every
//   TextObject ends a line. Line ends and tabs inside a TextCode are the writer's XML layout (no
//   glyph stands for them) and are left out. Each text object's text is read by the rules of
//   placed glyphs (placedText: no white space between CJK characters, radicals as ideographs).
// - The template pages a page uses (CommonData/TemplatePage): those drawn behind the page
//   (ZOrder Background, the default, and Body) before its text, those in front (Foreground)
//   after it.
// - A CompositeObject gives, where it is drawn, the text objects of the composite graphic unit
//   (CompositeGraphicUnit of the document's PublicRes and DocumentRes files) it names.
// - Then the page's annotations (Annotations -> the page's annotation files -> the TextObjects of
//   their appearances).
// - Paths in the package are read as the standard has them: relative to the file that names
//   them, from the package root when they start with "/", "\" taken as a separator, letter case
//   ignored. Paths that real writers get wrong (relative to the root instead of the naming file)
//   are tried from the root too.
// - A page with images and no TextObject of its own (a scanned page) gives the text lines that
//   text recognition reads in its images (ImageObject -> the MultiMedia resource of that ID in
//   the document's PublicRes or DocumentRes files -> the media file), in drawing order, after
//   its template pages.
// - A package with Encryptions.xml (its parts encrypted) is Encrypted; one whose pages hold
//   images and no TextObject at all (a scan), and in which recognition reads nothing, is NoText.
class OfdExtractor : public PackageExtractor
{
public:
    Outcome extractFrom(const ZipPackage &package, TextSink &sink) override;
};

// True when `ofdXml` (the start of an OFD.xml entry) has an OFD root element of the OFD
// namespace.
bool hasOfdRoot(QByteArrayView ofdXml);

// The registry's row of this family.
extern const Format kOfdFormat;

} // namespace documents
