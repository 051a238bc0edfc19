#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

namespace documents {

// Compiled HTML help files (.chm), read through chmlib, recognised by "ITSF" and by chmlib
// opening them (after the checks of ChmArchive). chmlib opens file paths only: a help file held
// in memory (an archive's member) is not recognised, and is searched as bytes; no copy of it is
// written anywhere.
//
// The text is that of the help file's HTML pages, each laid out as readHtmlText says:
// - First the topics of the table of contents, in its order, each once: the contents file that
//   #SYSTEM names, else the one .hhc file of the archive. Then the HTML pages (.htm, .html) the
//   contents do not name, in the order of the archive's directory. With no contents, every HTML
//   page in that order.
// - A page is decoded in the charset of the language #SYSTEM gives (charsetOfLcid), unless it
//   declares a charset of its own (a meta element), as the help viewer reads it; with neither,
//   by the encoding rule of text files.
// - A page larger than kMaxTopicBytes is skipped, and at most kMaxTopics pages are read. A page
//   that cannot be read whole (a damaged compressed section) makes the file Damaged, after the
//   text of the pages that can; so do pages of more than kMaxTotalBytes all told (LZX turns a
//   few bytes into many, and entries may share their bytes), where the reading stops.
class HelpFileExtractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) override;

    static constexpr qint64 kMaxTopicBytes = qint64(64) << 20;
    static constexpr qsizetype kMaxTopics = 100000;
    static constexpr qint64 kMaxTotalBytes = qint64(1) << 30;
};

// The registry's row of this family.
extern const Format kHelpFileFormat;

} // namespace documents
