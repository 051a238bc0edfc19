#pragma once

#include <QIODevice>
#include <QString>

#include <memory>

namespace documents {

// Makes poppler's global parameters at the first call (both the text and the scanned pages'
// rendering read through them): made in static storage and never destroyed, as workers that
// outlive a run may still be reading a file when the program ends. poppler's reports of syntax
// errors are dropped; the extraction's outcome says what is wrong instead.
void initialisePopplerGlobals();

// The text of a PDF file's pages, in poppler's reading order, one page after another, read as a
// reader sees it (placedText: no white space between CJK characters, radicals as the ideographs
// they look like).
//
// Pages that share one resource dictionary, page boxes and rotation (the usual case: writers give
// every page of a document the same resources) are laid out by one content interpreter, so the
// fonts of those resources are read once per document instead of once per page; reading a
// page's embedded fonts again is most of what extracting its text costs. Each page's text is
// still laid out on its own, exactly as a page displayed alone gives it. Where pages differ, or
// the file has optional content (whose hidden state could carry over from page to page), every
// page gets an interpreter of its own.
class PdfPageText
{
public:
    enum class Status : char { Ok, Encrypted, Damaged };

    // Reads from `device`, which must stay open while this object lives.
    explicit PdfPageText(QIODevice &device);
    ~PdfPageText();
    PdfPageText(const PdfPageText &) = delete;
    PdfPageText &operator=(const PdfPageText &) = delete;

    Status status() const;
    int pages() const;
    // False when poppler cannot build page `index` (0-based): it has no text to give.
    bool hasPage(int index) const;
    // The text of page `index`; pages are expected in increasing order (any order works, only
    // slower).
    QString text(int index);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace documents
