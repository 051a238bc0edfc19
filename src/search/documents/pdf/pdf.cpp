#include "search/documents/pdf/pdf.h"

#include "search/documents/pdf/pdf_page_text.h"
#include "search/documents/picture/picture.h"
#include "search/documents/text_sink.h"

#include <poppler-qt6.h>

#include <QIODevice>

#include <cctype>
#include <mutex>
#include <optional>

namespace documents {

namespace {

// poppler prints every syntax error of a damaged file on stderr; the outcome says it instead.
void silencePoppler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant());
    });
}

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

// Scanned pages are rendered at the resolution scanners use for text.
constexpr double kScanDpi = 300.0;

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
bool recognisePage(const Poppler::Page &page, TextSink &sink)
{
    const auto stopped = [](const QVariant &closure) {
        return static_cast<const TextSink *>(closure.value<const void *>())->stopRequested();
    };
    const QImage image =
        page.renderToImage(kScanDpi, kScanDpi, -1, -1, -1, -1, Poppler::Page::Rotate0, nullptr,
                           nullptr, stopped, QVariant::fromValue(static_cast<const void *>(&sink)));
    if (image.isNull() || sink.stopRequested() || isBlank(image))
        return false;
    return appendRecognisedText(image, sink);
}

} // namespace

Outcome PdfExtractor::extract(const Source &source, TextSink &sink)
{
    silencePoppler();
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
    // The file as poppler renders its pages, opened at the first page to recognise. Through a
    // buffered QFile rather than by name: poppler's own file stream reads the file a few hundred
    // bytes per system call. Its own device: the page texts read from the first one.
    std::unique_ptr<QIODevice> renderFile;
    std::unique_ptr<Poppler::Document> rendered;
    const auto pageToRender = [&](int index) -> std::unique_ptr<Poppler::Page> {
        if (!rendered) {
            renderFile = source.open();
            if (renderFile)
                rendered = Poppler::Document::load(renderFile.get());
        }
        return rendered ? rendered->page(index) : nullptr;
    };
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
                const std::unique_ptr<Poppler::Page> page = pageToRender(i);
                if (page && recognisePage(*page, sink))
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
