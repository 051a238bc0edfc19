#pragma once

#include "search/documents/zip_package.h"

namespace documents {

class TextSink;

// The headers and footers of a presentation's master pages, which the office suite shows on every
// page that uses them (footers on the slides, headers on the notes pages and handouts). A page
// names the header and footer declarations it uses (content.xml: presentation:use-footer-name,
// presentation:use-header-name, whose presentation:footer-decl and presentation:header-decl hold
// the text); its master page (styles.xml) shows them where it has the presentation:footer or
// presentation:header field. Each text a page shows this way is written once, as a line, in the
// order in which the pages first show it, however many pages show it. Then the text the master
// pages of the pages hold themselves (a footer typed into the master's footer frame, a text box
// drawn on the master), which only styles.xml has: each paragraph once, as a line, masters in the
// order the pages first use them.
ZipPackage::Status writePresentationFooters(const ZipPackage &package, TextSink &sink);

} // namespace documents
