#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

#include <QByteArrayView>

namespace documents {

// Word 97-2003 documents (.doc, .dot) and WPS Writer files (.wps), [MS-DOC]: an OLE2 compound file
// whose WordDocument stream starts with the File Information Block (FIB) and whose table stream
// (0Table or 1Table) holds the piece table.
//
// The text is read in character-position order through the piece table, each piece 8-bit (the
// Windows-1252 bytes of [MS-DOC] FcCompressed) or UTF-16LE: the main document, then the headers,
// then the footers, footnotes, endnotes, comments and text boxes. Paragraph marks, table cell
// marks, line breaks and page or section breaks end lines; the end-of-row mark of a table (a
// paragraph with the table-terminating-paragraph property) writes nothing, as a row is no cell.
// Field codes (between a field's begin and separator marks) are left out and the field results
// kept. A non-breaking hyphen is "-"; optional hyphens, picture and object anchors, footnote
// references and the other control characters are no text.
class Word97Extractor : public CompoundFileExtractor
{
public:
    Outcome extractFrom(const CompoundFile &file, const Source &source, TextSink &sink) override;
};

// True when `fib`, the first bytes of a WordDocument stream, is the FIB of Word 97 or later. Word
// 6 and Word 95 files have a stream of that name too, with text in the system code page and no
// piece table of this kind; they are left to the plain reading.
bool isWord97Fib(QByteArrayView fib);

// The registry's row of this family.
extern const Format kWord97Format;

} // namespace documents
