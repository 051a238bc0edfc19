#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

namespace documents {

// PowerPoint 97-2003 presentations (.ppt, .pps, .pot) and WPS Presentation files (.dps), [MS-PPT]:
// an OLE2 compound file whose PowerPoint Document stream holds the records and whose Current
// User stream points to the last edit.
//
// The slides follow in presentation order (the slide list of the document, found through the
// persist directory of the last edit and the edits before it), then the notes of every slide in
// the same order. A slide that shows its master's shapes gives the text of the master's shapes
// that are no placeholder first (a placeholder's prompt is no slide text). On a slide, the text
// boxes come in drawing order; the text of a placeholder, which the slide list holds, comes where
// the drawing refers to it, and the text of an embedded Word, Excel or PowerPoint object where a
// shape shows it (not for an object shown as an icon). The slide's fixed date and footer (its
// own headers and footers, else the document's) end it; a notes page ends with the header, fixed
// date and footer the document gives its notes pages. Every paragraph of a text atom is a
// line; a line break inside a paragraph is "\n". A presentation whose persist directory cannot
// be followed gives the text atoms and embedded objects of its stream in stream order, masters
// left out.
class PowerPoint97Extractor : public CompoundFileExtractor
{
public:
    Outcome extractFrom(const CompoundFile &file, const Source &source, TextSink &sink) override;
};

// The registry's row of this family.
extern const Format kPowerPoint97Format;

} // namespace documents
