#pragma once

#include <QImage>
#include <QSizeF>

#include <atomic>
#include <memory>

namespace documents {

class Source;

// The scanned pages of a PDF file rendered for text recognition, through poppler's own classes.
//
// A page is rendered at the resolution of its largest image (a scan keeps what the scanner saw,
// and more pixels than the scan has only cost recognition time), bounded to 150..300 dpi, and
// never to more than ocr::kMaxPagePixels pixels: a page too large for that is rendered at the
// resolution that fills the budget, however low. Rendered in 8-bit grey, one byte a pixel.
class ScanRenderer
{
public:
    // Opens the file of `source`, which must outlive the renderer.
    explicit ScanRenderer(const Source &source);
    ~ScanRenderer();
    ScanRenderer(const ScanRenderer &) = delete;
    ScanRenderer &operator=(const ScanRenderer &) = delete;

    // Page `index` (from 0) in grey at resolution(); null when it cannot be rendered or `stop`
    // was set while it was (poppler asks between the drawing operators of the page).
    QImage render(int index, const std::atomic<bool> *stop);

    // The resolution a page of `points` (its crop box, in 1/72 inch) whose largest image has
    // `imagePpi` pixels an inch (0: no image found) is rendered at.
    static double resolution(QSizeF points, double imagePpi);

    static constexpr double kLeastDpi = 150;
    static constexpr double kMostDpi = 300;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace documents
