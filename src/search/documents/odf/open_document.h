#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

namespace documents {

// OpenDocument files (.odt, .ods, .odp, .odg and their templates): a ZIP package whose mimetype
// entry is application/vnd.oasis.opendocument.*.
//
// - content.xml: paragraphs, headings and list items a line each. In a spreadsheet every table
//   row is a line with its cells separated by commas (repeated cells and rows written out, within
//   the largest sheet and a few tens of MiB of text per repeat); in a text document a table cell's
//   paragraphs are lines. Presentation and drawing pages in order, then the speaker notes of every
//   page in the same order (a second pass over content.xml). Between the two, once each, the
//   headers and footers that the master pages show on the pages (see presentation_footers.h).
// - Footnotes, endnotes and comments are written after the paragraph that holds them, so that
//   they do not cut its text in two.
// - Text documents: after content.xml, the headers and footers of the page styles (styles.xml).
// - Text that is not shown as document text is left out: deleted text kept for change tracking,
//   and the text of notes' citation marks.
class OpenDocumentExtractor : public PackageExtractor
{
public:
    Outcome extractFrom(const ZipPackage &package, TextSink &sink) override;
};

// The registry's row of this family.
extern const Format kOpenDocumentFormat;

} // namespace documents
