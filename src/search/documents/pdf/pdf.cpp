#include "search/documents/pdf/pdf.h"

#include "search/documents/pdf/pdf_page_text.h"
#include "search/documents/pdf/pdf_scan_render.h"
#include "search/documents/picture/picture.h"
#include "search/documents/text_sink.h"
#include "search/ocr/ocr.h"

#include <QIODevice>

#include <atomic>
#include <cctype>
#include <chrono>
#include <optional>
#include <thread>

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

// The next scanned page, rendered and recognised on a thread of its own while the extractor reads
// the page before it, so that a scan's pages take both cores (the engines' pool still lends at
// most one engine per core in all). Going out of scope stops it within a band of the page and
// joins its thread.
class PageAhead
{
public:
    PageAhead(const Source &source, int index) : m_index(index)
    {
        m_thread = std::thread([this, &source] {
            ScanRenderer renderer(source);
            const QImage image = renderer.render(m_index, &m_stop);
            if (!image.isNull() && !m_stop.load() && !isBlank(image))
                m_result = ocr::recognise(image, &m_stop);
            m_done.store(true);
        });
    }
    ~PageAhead()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    PageAhead(const PageAhead &) = delete;
    PageAhead &operator=(const PageAhead &) = delete;

    int index() const { return m_index; }
    // Waits for the page, then hands its lines to `sink`; false when none were recognised. The
    // wait counts as recognition (TextSink::beginRecognition). A stop of the sink stops the page.
    bool append(TextSink &sink)
    {
        sink.beginRecognition();
        while (m_thread.joinable()) {
            if (sink.stopRequested())
                m_stop.store(true);
            // Joined once the page is read; meanwhile the sink's stop is looked at.
            if (m_done.load()) {
                m_thread.join();
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        for (const QString &line : std::as_const(m_result.lines)) {
            sink.append(line);
            sink.append(u'\n');
        }
        sink.partProgress(100);
        sink.endRecognition();
        return !m_result.lines.isEmpty() && !sink.stopRequested();
    }

private:
    const int m_index;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    ocr::Result m_result;
    std::thread m_thread;
};

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
    // The next page, when it is a scan too, read meanwhile; and its text, taken already.
    std::unique_ptr<PageAhead> ahead;
    std::optional<QString> nextText;
    for (int i = 0; i < pages; ++i) {
        if (sink.stopRequested())
            return Outcome::Stopped;
        sink.beginPart(i, pages);
        if (!texts.hasPage(i))
            continue; // a page poppler cannot build has no text to give
        const QString text = nextText ? *nextText : texts.text(i);
        nextText.reset();
        if (text.isEmpty()) {
            if (!images) {
                const std::unique_ptr<QIODevice> again = source.open();
                images = again && holdsImage(*again);
            }
            if (!*images)
                continue;
            if (ahead && ahead->index() == i) {
                if (ahead->append(sink))
                    anyText = true;
                ahead.reset();
                continue;
            }
            if (i + 1 < pages && texts.hasPage(i + 1)) {
                nextText = texts.text(i + 1);
                if (nextText->isEmpty())
                    ahead = std::make_unique<PageAhead>(source, i + 1);
            }
            if (!renderer)
                renderer = std::make_unique<ScanRenderer>(source);
            if (recognisePage(*renderer, i, sink))
                anyText = true;
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
