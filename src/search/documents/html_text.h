#pragma once

#include "platform/core/text_encoding.h"
#include "search/documents/zip_package.h"

#include <QString>

namespace documents {

class TextSink;

// The text of HTML pages as a browser shows it.
//
// Streams the HTML or XHTML entry `name` of `package` through libxml2's HTML parser into `sink`,
// feeding the parser block by block as the entry inflates, so that no document is held whole.
// HTML named entities (&nbsp;, &eacute;, ...) are understood, and markup that is not well formed
// is read as a browser would read it.
//
// The text is what a reader sees, laid out as the other families lay out theirs:
// - The content of head, script, style, template and title is left out, and so is that of an
//   element with the hidden attribute. Ruby annotations (rt, rp) are left out too, so that the
//   base text they annotate stays one word for the search.
// - A block element (p, div, h1-h6, li, dt, dd, blockquote, section, table rows and cells, ...)
//   starts and ends a line; a line is written only when it holds text, so nested blocks make no
//   empty lines. br ends a line always. A table cell is a line of its own, as a table cell's
//   paragraph is in the office families.
// - White space is collapsed as a browser shows it: a run of blanks, tabs and line ends is one
//   space, none at the start or end of a line. Inside pre it is kept, line ends included. A
//   no-break space (&nbsp;) is a character of the text, never collapsed.
ZipPackage::Status readHtmlPart(const ZipPackage &package, const QString &name, TextSink &sink);

// Whether the page's title (the first title element) is text: a saved web page's is the name a
// browser shows for it.
enum class HtmlTitle { Skipped, Read };

// The text of HTML held in memory (a part of a mail or a saved page, a help file's topic), read
// by the same rules; with HtmlTitle::Read the title first, as a line of its own. The bytes are
// decoded by their byte-order mark, else by `declaredCharset` (the charset a container names for
// them, such as a MIME part's; empty: none) when it is known, else as a text file's are (a meta
// element's charset, then the bytes themselves); a charset the page declares inside does not
// override that. Markup a browser takes for a comment and libxml2 for text, such as the
// conditional sections Word writes (<![if !vml]> ... <![endif]>), is not text either. False when
// a stop was asked.
bool readHtmlText(QByteArrayView bytes, const QByteArray &declaredCharset, TextSink &sink,
                  HtmlTitle title = HtmlTitle::Skipped);

// The bytes of HTML or plain text decoded as readHtmlText decodes them.
QString decodeHtml(QByteArrayView bytes, const QByteArray &declaredCharset);
// The encoding decodeHtml reads `bytes` in, after the `bomLength` bytes of their byte-order mark.
platform::Encoding htmlEncoding(QByteArrayView bytes, const QByteArray &declaredCharset,
                                int &bomLength);

// True when a named character reference the HTML parser knows stands for `character` (&middot;
// for U+00B7). Besides those and numeric references (&#...;), the text readHtmlText reads holds
// only characters of the decoded HTML, and ASCII blanks and line ends.
bool htmlNamesCharacter(char32_t character);

} // namespace documents
