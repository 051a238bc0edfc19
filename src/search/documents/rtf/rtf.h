#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

namespace documents {

// Rich Text Format files, recognised by "{\rtf". The text a reader sees, laid out as the office
// suite's text export lays it out:
//
// - \par, \line, \sect and \page end a line; \tab is "\t". A table row is a line with its cells
//   separated by "\t" (\cell, \nestcell); the tab after a row's last cell is not written.
// - \'xx bytes are decoded in the code page of the current font's \fcharset (or \cpg), the
//   document's \ansicpg for fonts of the ANSI charset; the bytes of a double-byte character are
//   joined before decoding, also across a formatting group. GB2312 is read as GB18030.
// - \uN is the character N (a signed 16-bit value), and the \ucN fallback bytes after it are
//   dropped. \~ is a no-break space, \_ a hyphen; \emdash, \lquote and the like their characters.
// - Destinations that are not text are skipped: the font table (read for the charsets), colour
//   table, style sheet, document information, \*\... destinations, pictures, embedded object
//   data (the object's \result shown instead), field instructions (the field's result is kept),
//   list labels, and \binN data. Headers, footers and footnotes are text where they stand.
// - A file cut short gives its text so far; the document ends where its outermost group closes.
//   A NUL byte outside \bin data ends the reading: what came before it is the document, and a
//   file with no text before it is Damaged. A file whose only content is pictures is NoText.
//
// The file is read in blocks: \bin data and hex runs of any size cost no memory.
class RtfExtractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) override;
};

// The registry's row of this family.
extern const Format kRtfFormat;

} // namespace documents
