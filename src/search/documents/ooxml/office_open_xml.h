#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

#include <QByteArray>
#include <QSet>
#include <QString>

namespace documents {

class ZipPackage;

// Word, Excel and PowerPoint files (and their macro and template variants): a ZIP package whose
// [Content_Types].xml names the main part, which _rels/.rels points to.
//
// - Word: the main document part, then its headers, footers, footnotes, endnotes and comments, in
//   that order, each kind in the order of the part names (header1, header2, header10 ...), found
//   through the main part's relationships.
// - Excel: the worksheets in workbook order (xl/workbook.xml and its relationships), cell values
//   as stored: shared strings by index (rich text runs joined), inline strings, numbers, booleans
//   (1/0) and error codes as written in the cell.
// - PowerPoint: the slides in presentation order (the slide list of ppt/presentation.xml), every
//   text paragraph a line, then the notes of every slide in the same order. Slide number fields
//   are left out.
class OfficeOpenXmlExtractor : public PackageExtractor
{
public:
    Outcome extractFrom(const ZipPackage &package, TextSink &sink) override;
};

// True when [Content_Types].xml (given as `contentTypes`) declares the main part of a Word, Excel
// or PowerPoint document; other packages that use the same container (XPS, NuGet, VSIX) do not.
bool declaresOfficeMainPart(const QByteArray &contentTypes);

// The parts of a Word or Excel package whose text OfficeOpenXmlExtractor gives, by lower-case
// entry name, found through [Content_Types].xml and the main part's relationships as the reader
// finds them: a Word document's main part and the parts it names as headers, footers, notes and
// comments; the parts a workbook names as shared strings, worksheets and styles (the literals of
// its number formats). `written` gets the characters the reader writes of its own, which no part
// need hold (a workbook's: those its number formats write, cells::charactersFormatsWrite). False
// when that set cannot be told so (a presentation, whose slides are named by the main part's
// content; a declaration or relationships that cannot be read): every part may then hold text.
bool officeTextParts(const ZipPackage &package, QSet<QString> &parts, QStringView &written);

// The registry's row of this family.
extern const Format kOfficeOpenXmlFormat;

} // namespace documents
