#include "search/documents/pdf/pdf_page_text.h"

#include "search/documents/placed_text.h"

#include <Annot.h>
#include <ErrorCodes.h>
#include <Gfx.h>
#include <GfxState.h>
#include <GlobalParams.h>
#include <goo/GooString.h>
#include <Page.h>
#include <PDFDoc.h>
#include <Stream.h>
#include <TextOutputDev.h>
#include <XRef.h>

#include <QByteArray>

#include <new>
#include <optional>

namespace documents {

void initialisePopplerGlobals()
{
    [[maybe_unused]] static const bool made = [] {
        alignas(GlobalParamsIniter) static unsigned char storage[sizeof(GlobalParamsIniter)];
        new (storage) GlobalParamsIniter([](ErrorCategory, Goffset, const char *) {});
        return true;
    }();
}

namespace {

// A file read through its device, as poppler asks for ranges of it.
class DeviceStream final : public BaseSeekInputStream
{
public:
    DeviceStream(QIODevice &device, Goffset start, bool limited, Goffset length, Object &&dict)
        : BaseSeekInputStream(start, limited, length, std::move(dict)), m_device(device)
    {}
    BaseStream *copy() override
    {
        return new DeviceStream(m_device, start, limited, length, dict.copy());
    }
    Stream *makeSubStream(Goffset startAt, bool limitedTo, Goffset lengthOf,
                          Object &&dictOf) override
    {
        return new DeviceStream(m_device, startAt, limitedTo, lengthOf, std::move(dictOf));
    }

private:
    Goffset currentPos() const override { return m_device.pos(); }
    void setCurrentPos(Goffset offset) override { m_device.seek(offset); }
    Goffset read(char *buffer, Goffset size) override { return m_device.read(buffer, size); }

    QIODevice &m_device;
};

// Files up to this size are read into memory whole: poppler then takes their bytes from the
// buffer rather than through a stream's calls, a little faster.
constexpr qint64 kInMemoryLimit = qint64(32) << 20;

bool sameBox(const PDFRectangle &a, const PDFRectangle &b)
{
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

// What a page's content interpreter is made of: its resource dictionary (as the object that holds
// it, on the page or inherited from a page tree node), its boxes and its rotation. Pages of equal
// shapes can be laid out by one interpreter.
struct PageShape
{
    Ref resources = Ref::INVALID();
    PDFRectangle media;
    PDFRectangle crop;
    int rotate = 0;

    bool shareable() const { return resources != Ref::INVALID(); }
    bool operator==(const PageShape &other) const
    {
        return resources == other.resources && sameBox(media, other.media) &&
               sameBox(crop, other.crop) && rotate == other.rotate;
    }
};

// The shape of `page`; not shareable when its resources are a dictionary of its own (not an
// object of the file that other pages can name) or cannot be found.
PageShape shapeOf(XRef *xref, Page *page)
{
    PageShape shape;
    shape.media = *page->getMediaBox();
    shape.crop = *page->getCropBox();
    shape.rotate = page->getRotate();
    Object node = xref->fetch(page->getRef());
    // Resources are inherited from the nearest page tree node that has them.
    for (int depth = 0; depth < 64 && node.isDict(); ++depth) {
        const Object &entry = node.dictLookupNF("Resources");
        if (entry.isRef()) {
            shape.resources = entry.getRef();
            break;
        }
        if (!entry.isNull())
            break;
        node = node.dictLookup("Parent");
    }
    return shape;
}

} // namespace

struct PdfPageText::Private
{
    QByteArray bytes; // the whole file, when it is small; poppler reads from it
    std::unique_ptr<PDFDoc> document;
    // Every page is laid out into this device, its text taken before the next page begins.
    TextOutputDev output{static_cast<const char *>(nullptr), false, 0, false, false};
    // The interpreter of the last page, kept when the next page has the same shape.
    std::unique_ptr<Gfx> gfx;
    PageShape gfxShape;
    int lastIndex = -2;
    // Optional content turns drawing off by marked sections; one left open at the end of a page
    // would hide the text of the next ones, so such files get an interpreter per page.
    bool share = false;
    std::optional<std::pair<int, PageShape>> nextShape;

    PageShape shape(int index, Page *page)
    {
        if (nextShape && nextShape->first == index)
            return nextShape->second;
        return shapeOf(document->getXRef(), page);
    }
};

PdfPageText::PdfPageText(QIODevice &device) : d(std::make_unique<Private>())
{
    initialisePopplerGlobals();
    BaseStream *stream = nullptr;
    const qint64 size = device.size();
    if (size >= 0 && size <= kInMemoryLimit && device.seek(0)) {
        d->bytes = device.readAll();
        stream = new MemStream(d->bytes.constData(), 0, d->bytes.size(), Object(objNull));
    } else {
        stream = new DeviceStream(device, 0, false, size, Object(objNull));
    }
    d->document = std::make_unique<PDFDoc>(stream);
    d->share = d->document->isOk() && d->document->getOptContentConfig() == nullptr;
}

PdfPageText::~PdfPageText() = default;

PdfPageText::Status PdfPageText::status() const
{
    if (d->document->isOk())
        return Status::Ok;
    return d->document->getErrorCode() == errEncrypted ? Status::Encrypted : Status::Damaged;
}

int PdfPageText::pages() const
{
    return d->document->isOk() ? d->document->getNumPages() : 0;
}

bool PdfPageText::hasPage(int index) const
{
    return index >= 0 && index < pages() && d->document->getPage(index + 1) != nullptr;
}

QString PdfPageText::text(int index)
{
    if (!hasPage(index))
        return {};
    const int number = index + 1;
    Page *page = d->document->getPage(number);
    const PageShape shape = d->shape(index, page);
    // Kept from the page before only when this page follows it and has its shape.
    if (d->gfx && !(index == d->lastIndex + 1 && shape == d->gfxShape))
        d->gfx.reset();
    d->lastIndex = index;
    if (d->gfx) {
        // What a new interpreter does to the device as it begins a page.
        GfxState *state = d->gfx->getState();
        d->output.startPage(number, state, d->document->getXRef());
        d->output.setDefaultCTM(state->getCTM());
        d->output.updateAll(state);
    } else {
        // As poppler displays a page for its text: 72 dpi, unrotated, cut to the crop box.
        d->gfx.reset(page->createGfx(&d->output, 72, 72, 0, false, true, -1, -1, -1, -1, false,
                                     nullptr, nullptr));
        d->gfxShape = shape;
    }
    // The guard brings the interpreter back to the page's first state, however unbalanced the
    // page's own saves and restores.
    d->gfx->pushStateGuard();
    if (page->getContents().isNull())
        d->output.dump();
    else
        page->display(d->gfx.get());
    Annots *annotations = page->getAnnots();
    if (!annotations->getAnnots().empty()) {
        for (Annot *annotation : annotations->getAnnots())
            annotation->draw(d->gfx.get(), false);
        d->output.dump();
    }
    d->gfx->popStateGuard();

    // The page ends: by the interpreter's end, unless the next page is laid out by it too.
    bool keep = false;
    d->nextShape.reset();
    if (d->share && shape.shareable() && hasPage(index + 1)) {
        const PageShape next = shapeOf(d->document->getXRef(), d->document->getPage(number + 1));
        d->nextShape.emplace(index + 1, next);
        keep = next == shape;
    }
    if (keep)
        d->output.endPage();
    else
        d->gfx.reset();

    const PDFRectangle *crop = page->getCropBox();
    const std::unique_ptr<GooString> text(
        d->output.getText(crop->x1, crop->y1, crop->x2, crop->y2));
    return text ? placedText(QString::fromUtf8(text->c_str())) : QString();
}

} // namespace documents
