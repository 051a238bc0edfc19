#include "search/documents/pdf/pdf.h"

#include "search/documents/text_sink.h"

#include <poppler-qt6.h>

#include <QIODevice>
#include <QRectF>

#include <mutex>

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

} // namespace

Outcome PdfExtractor::extract(const Source &source, TextSink &sink)
{
    silencePoppler();
    // Through a buffered QFile rather than by name: poppler's own file stream reads the file a few
    // hundred bytes per system call, which costs more than the text layout on small pages. The
    // file must outlive the document.
    const std::unique_ptr<QIODevice> file = source.open();
    if (!file)
        return Outcome::Damaged;
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(file.get());
    if (!document)
        return Outcome::Damaged;
    if (document->isLocked())
        return Outcome::Encrypted;
    const int pages = document->numPages();
    for (int i = 0; i < pages; ++i) {
        if (sink.stopRequested())
            return Outcome::Stopped;
        const std::unique_ptr<Poppler::Page> page = document->page(i);
        if (!page)
            continue; // a page poppler cannot build has no text to give
        const QString text = page->text(QRectF());
        if (text.isEmpty())
            continue;
        sink.append(text);
        if (!text.endsWith(u'\n'))
            sink.append(u'\n');
    }
    return Outcome::Done;
}

} // namespace documents
