#include "search/documents/pdf/pdf_scan_render.h"

#include "search/documents/pdf/pdf_page_text.h"
#include "search/documents/source.h"
#include "search/ocr/picture_decoding.h"

#include <GfxState.h>
#include <GlobalParams.h>
#include <goo/GooString.h>
#include <OutputDev.h>
#include <PDFDoc.h>
#include <splash/SplashBitmap.h>
#include <SplashOutputDev.h>
#include <Stream.h>

#include <QFile>

#include <algorithm>
#include <cmath>
#include <new>

namespace documents {

namespace {

// Goes through a page's content without drawing anything, noting the image with the most pixels
// and how many pixels an inch it is drawn at. The image data is not decoded.
class ImageMeasure final : public OutputDev
{
public:
    bool upsideDown() override { return true; }
    bool useDrawChar() override { return false; }
    bool interpretType3Chars() override { return false; }

    void drawImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                   GfxImageColorMap *colorMap, bool interpolate, const int *maskColors,
                   bool inlineImg) override
    {
        note(state, width, height);
        // The base class reads past an inline image's data, which the interpreter needs.
        OutputDev::drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors,
                             inlineImg);
    }
    void drawImageMask(GfxState *state, Object *ref, Stream *str, int width, int height,
                       bool invert, bool interpolate, bool inlineImg) override
    {
        note(state, width, height);
        OutputDev::drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
    }

    double largestPpi() const { return m_ppi; }

private:
    // The image fills the unit square of the current transformation, here in points.
    void note(GfxState *state, int width, int height)
    {
        const double *ctm = state->getCTM();
        const double across = std::hypot(ctm[0], ctm[1]) / 72;
        const double down = std::hypot(ctm[2], ctm[3]) / 72;
        const qint64 pixels = qint64(width) * height;
        if (across <= 0 || down <= 0 || pixels <= m_pixels)
            return;
        m_pixels = pixels;
        m_ppi = std::max(width / across, height / down);
    }

    qint64 m_pixels = 0;
    double m_ppi = 0;
};

bool stopAsked(void *stop)
{
    return stop && static_cast<const std::atomic<bool> *>(stop)->load(std::memory_order_relaxed);
}

} // namespace

struct ScanRenderer::Private
{
    std::unique_ptr<PDFDoc> document;
};

ScanRenderer::ScanRenderer(const Source &source) : d(std::make_unique<Private>())
{
    initialisePopplerGlobals();
    if (source.inMemory()) {
        const QByteArray &bytes = source.bytes();
        d->document = std::make_unique<PDFDoc>(
            new MemStream(bytes.constData(), 0, bytes.size(), Object(objNull)));
    } else {
        const QByteArray name = QFile::encodeName(source.path());
        d->document =
            std::make_unique<PDFDoc>(std::make_unique<GooString>(name.constData(), name.size()));
    }
}

ScanRenderer::~ScanRenderer() = default;

double ScanRenderer::resolution(QSizeF points, double imagePpi)
{
    double dpi = imagePpi > 0 ? std::clamp(imagePpi, kLeastDpi, kMostDpi) : kMostDpi;
    const double squareInches = points.width() / 72 * points.height() / 72;
    // A little under the budget, for the pixels the rounding of each side adds.
    if (squareInches > 0)
        dpi = std::min(dpi, std::sqrt(double(ocr::kMaxPagePixels) / squareInches) * 0.99);
    return dpi;
}

QImage ScanRenderer::render(int index, const std::atomic<bool> *stop)
{
    PDFDoc *document = d->document.get();
    const int number = index + 1;
    if (!document->isOk() || number < 1 || number > document->getNumPages())
        return QImage();
    const QSizeF points(document->getPageCropWidth(number), document->getPageCropHeight(number));
    if (!(points.width() > 0 && points.height() > 0))
        return QImage();
    void *flag = const_cast<std::atomic<bool> *>(stop);
    ImageMeasure measure;
    document->displayPage(&measure, number, 72, 72, 0, false, true, false, stopAsked, flag);
    const double dpi = resolution(points, measure.largestPpi());
    SplashColor paper;
    paper[0] = 0xFF;
    SplashOutputDev output(splashModeMono8, 4, false, paper);
    output.setFontAntialias(true);
    output.setVectorAntialias(true);
    output.startDoc(document);
    document->displayPage(&output, number, dpi, dpi, 0, false, true, false, stopAsked, flag);
    if (stopAsked(flag))
        return QImage();
    SplashBitmap *bitmap = output.takeBitmap();
    if (!bitmap || bitmap->getWidth() <= 0 || bitmap->getHeight() <= 0) {
        delete bitmap;
        return QImage();
    }
    // The image is the bitmap's own memory, freed with it.
    QImage image(
        bitmap->getDataPtr(), bitmap->getWidth(), bitmap->getHeight(), bitmap->getRowSize(),
        QImage::Format_Grayscale8, [](void *owned) { delete static_cast<SplashBitmap *>(owned); },
        bitmap);
    const int dotsPerMeter = qRound(dpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return image;
}

} // namespace documents
