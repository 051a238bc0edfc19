#pragma once

#include "search/documents/source.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <atomic>
#include <functional>

// The text of office documents and PDF files, as their plain-text export would lay it out.
//
// Layout of the text (what the search then cuts into fields with its CSV-like rules):
// - A paragraph, heading, list item, table cell paragraph, slide text paragraph or PDF text line
//   is one line, ended by "\n". Text split over formatting runs is joined with nothing between.
//   A tab in the document is "\t", a line break inside a paragraph is "\n", a run of N spaces
//   stored as a count is N spaces. List labels (bullets, numbers) are not text and are left out.
// - A spreadsheet row is one line: its cells in column order, separated by ",". A cell that holds
//   a comma, a double quote, CR or LF is written between double quotes with every double quote
//   inside doubled, as a CSV export writes it. A cell with several paragraphs joins them with
//   "\n". Empty cells before a filled one are written as empty fields; empty cells after the last
//   filled one and rows with no filled cell are not written. Sheets follow one another in
//   workbook order.
// - No text is held whole: a cell longer than CsvCellText::kMaxHeld characters is written as it
//   is read, and always between double quotes (inner ones doubled), since whether it needs them
//   is known only at its end; its search text differs from the unquoted form only in blanks at
//   its very start, which the quotes keep. A row holding such a cell, or longer than about a
//   million characters, is written once whatever its repeat count.
// - A PDF read whole whose pages give no text is NoText when it holds an image (a scan), and Done
//   with no text when it holds none (blank pages).
// - A picture, and a PDF page that has no text but images, give the text lines that text
//   recognition reads in them; such a file in which nothing is recognised is NoText.
// - Where the parts come from, per format family, is said in each extractor's header.
namespace documents {

// What a file holds, recognised by content, never by name.
enum class Kind {
    NotDocument,
    OfficeOpenXml,
    OpenDocument,
    Pdf,
    EncryptedPackage,
    Word97,         // Word 97-2003 and WPS Writer, in an OLE2 compound file
    Excel97,        // Excel 5-2003 and WPS Spreadsheets
    PowerPoint97,   // PowerPoint 97-2003 and WPS Presentation
    Ofd,            // OFD (GB/T 33190): a ZIP package whose OFD.xml has an ofd:OFD root
    Rtf,            // Rich Text Format, from "{\rtf"
    Epub,           // EPUB e-book: a ZIP package whose mimetype is application/epub+zip, or whose
                    // META-INF/container.xml names a package document
    Picture,        // PNG, JPEG, BMP, GIF, TIFF or WebP: its text is what recognition reads in it
    Message,        // a mail saved as .eml or a web page saved as .mht/.mhtml: an Internet message
    HelpFile,       // a compiled HTML help file, .chm
    OutlookMessage, // an Outlook message saved as .msg, an OLE2 compound file
};

// `head`: the file's first bytes (at least 8 when the file has them). Files that are no document
// are decided from `head` alone; only a ZIP or OLE2 signature or "%PDF-" leads to a look inside; a
// picture is told by its signature. (The registry's openDocument() gives the document itself.)
Kind recognise(const Source &source, QByteArrayView head);

enum class Outcome {
    Done,      // the whole text was handed out
    Stopped,   // `out` returned false or `stop` was set
    Encrypted, // the document needs a password to be read
    Damaged,   // not readable as the document it claims to be (truncated, corrupt, a ZIP bomb)
    NoText,    // read whole, but holds no text at all: every page an image (a scan)
};

// Receives the document's text in pieces, in order; returns false to stop early (the caller has
// its answer). Pieces may be any size.
using TextOut = std::function<bool(QStringView)>;

// Told how far an extraction has come through its document, in thousandths (0..1000): the pages
// read so far, and the share of the page being recognised. Called on the extracting thread, and
// only when the figure changes; readers that have no pages (office files) do not call it.
using ProgressOut = std::function<void(int permille)>;

// What names the text extractText gives: it changes whenever the text of some document would come
// out differently, so that text kept from an earlier version is not used.
QByteArray extractorVersion();

// Hands the text of the document at `source`, read as one of `kind`, to `out`. Text handed out
// before a failure stays valid: a document found damaged half way has given its first half.
Outcome extractText(const Source &source, Kind kind, const TextOut &out);

} // namespace documents
