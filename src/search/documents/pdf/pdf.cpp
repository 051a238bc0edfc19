#include "search/documents/pdf/pdf.h"

#include "search/documents/pdf/pdf_page_text.h"
#include "search/documents/pdf/pdf_scan_render.h"
#include "search/documents/picture/picture.h"
#include "search/documents/text_sink.h"

#include <QIODevice>

#include <cctype>
#include <optional>

namespace documents {

namespace {

// True when the file holds an image XObject: a dictionary with "/Image" as a name of its own (not
// the "/ImageB", "/ImageC", "/ImageI" of a procedure set, nor "/ImageMask"). An image XObject is a
// stream, and streams are never packed into compressed object streams, so its dictionary stands
// in the file's bytes as written. Images drawn inline in a page's content (BI ... EI) sit in the
// compressed content and are not seen: such a page counts as blank.
bool holdsImage(QIODevice &file)
{
    if (!file.seek(0))
        return false;
    constexpr QByteArrayView kName("/Image");
    QByteArray carry;
    for (;;) {
        const QByteArray block = file.read(1 << 20);
        if (block.isEmpty())
            return false;
        const QByteArray bytes = carry + block;
        for (qsizetype at = bytes.indexOf(kName); at >= 0; at = bytes.indexOf(kName, at + 1)) {
            const qsizetype after = at + kName.size();
            if (after >= bytes.size())
                break; // decided with the next block
            const char c = bytes[after];
            if (!std::isalnum(uchar(c)) && c != '#' && c != '_' && c != '-' && c != '.')
                return true;
        }
        carry = bytes.right(kName.size());
    }
}

// True when every pixel of `image` is near white: a page with nothing drawn on it.
bool isBlank(const QImage &image)
{
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *line = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (line[x] < 200)
                return false;
        }
    }
    return true;
}

// The text of a page that gives none of its own: the page rendered and read by recognition.
// False when nothing was recognised, or the render or the recognition was stopped.
bool recognisePage(ScanRenderer &renderer, int index, TextSink &sink)
{
    const QImage image = renderer.render(index, sink.stopFlag());
    if (image.isNull() || sink.stopRequested() || isBlank(image))
        return false;
    return appendRecognisedText(image, sink);
}

} // namespace

Outcome PdfExtractor::extract(const Source &source, TextSink &sink)
{
    // The file must outlive the page texts, which read from it.
    const std::unique_ptr<QIODevice> file = source.open();
    if (!file)
        return Outcome::Damaged;
    PdfPageText texts(*file);
    if (texts.status() == PdfPageText::Status::Damaged)
        return Outcome::Damaged;
    if (texts.status() == PdfPageText::Status::Encrypted)
        return Outcome::Encrypted;
    const int pages = texts.pages();
    bool anyText = false;
    // Whether the file holds images at all, known at the first page without text: a page without
    // text is recognised only in a file that has images (a scan), never in one of blank pages.
    std::optional<bool> images;
    // The renderer of the scanned pages, opened at the first page to recognise.
    std::unique_ptr<ScanRenderer> renderer;
    for (int i = 0; i < pages; ++i) {
        if (sink.stopRequested())
            return Outcome::Stopped;
        sink.beginPart(i, pages);
        if (!texts.hasPage(i))
            continue; // a page poppler cannot build has no text to give
        const QString text = texts.text(i);
        if (text.isEmpty()) {
            if (!images) {
                const std::unique_ptr<QIODevice> again = source.open();
                images = again && holdsImage(*again);
            }
            if (*images) {
                if (!renderer)
                    renderer = std::make_unique<ScanRenderer>(source);
                if (recognisePage(*renderer, i, sink))
                    anyText = true;
            }
            continue;
        }
        anyText = true;
        sink.append(text);
        if (!text.endsWith(u'\n'))
            sink.append(u'\n');
    }
    // No page gave text, not even by recognition: a scan (its pages images) in which nothing was
    // recognised has no text to search, which the search says;
    // a PDF of blank pages, with no image at all, is read whole and simply holds no text.
    if (sink.stopRequested())
        return Outcome::Stopped;
    if (!anyText && pages > 0 && images.value_or(false))
        return Outcome::NoText;
    return Outcome::Done;
}

} // namespace documents
