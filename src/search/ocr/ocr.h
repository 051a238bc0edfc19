#pragma once

#include "search/ocr/picture_decoding.h"
#include "search/ocr/picture_signature.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <atomic>
#include <functional>
#include <vector>

// Text recognition of images: an image in, its text lines out. Knows nothing of documents; the
// readers of pictures, PDF and OFD files ask it for the text of an image.
//
// Two engines read: Tesseract (tesseract_engine.h) the clean pages of print a scanner gives, which
// it reads as well as the other at a fraction of its cost, and PaddleOCR's models on OpenCV
// (paddle_engine.h) everything else, photos and screenshots, which Tesseract mostly misses.
// Without the models every image goes to Tesseract. Each engine keeps at most one set of its
// networks or data per core, lent to the thread that recognises.
namespace ocr {

enum class Status {
    Done,        // `lines` holds what the engine read (may be none: a blank image)
    Stopped,     // the stop flag was set while the image was being read
    Unavailable, // no engine: the language data is missing or cannot be loaded
};

struct Result
{
    Status status = Status::Done;
    // The engine's text lines, top to bottom, without blank ones; spaces the engine puts between
    // CJK characters are removed, those between Latin words kept.
    QStringList lines;
};

// Told how far the recognition of an image has come, in percent (the engine's own count, which
// moves while it reads words, not while it finds the lines); called on the recognising thread.
using Progress = std::function<void(int percent)>;

// Told the lines of each band of a page as soon as the band is read (`last`: the page's last
// band), so that a caller can find its answer before the whole page is read.
using BandLines = std::function<void(QStringView lines, bool last)>;

// Recognises the text of `image` (any format; converted to grayscale) with the engine
// engineFor() names. `stop` (may be null) is polled while the engine reads words, between the
// bands of a tall page (bandCuts) and between the lines of a photo, so that a set flag ends a page
// within a fraction of a second. `progress` (may be empty) is told as the words are read, and 100
// at the end. `bandLines` (may be empty) is told each band's lines, each ended by "\n", as they
// are read (a photo's lines as one band).
Result recognise(const QImage &image, const std::atomic<bool> *stop = nullptr,
                 const Progress &progress = {}, const BandLines &bandLines = {});

enum class Engine {
    Automatic, // each image to the engine that reads its kind best (engineFor)
    Tesseract,
    Paddle, // falls back to Tesseract when the models are missing
};

// True for what a scanner gives of a page of print (or a PDF page rendered from one): at least
// 1000 pixels each way, a resolution of 150 dpi or more (or 6 million pixels or more, too large
// for the other engine's detector to see fine print), mostly paper white, and little besides
// paper and ink (few grey tones or colours) -- what Tesseract reads. Photos (no scanner's
// resolution, shades) and screenshots (72 to 144 dpi or none) are not.
bool isCleanPage(const QImage &gray);

// The engine that reads `gray` (8-bit grey): the one setEngine() or QUARLEX_OCR_ENGINE
// (tesseract, paddle) chose, else Tesseract for a clean page and PaddleOCR for the rest.
Engine engineFor(const QImage &gray);

// Makes every recognition use `engine` (Automatic: engineFor's choice again); for tests and
// benchmarks.
void setEngine(Engine engine);

// Reads the PaddleOCR models from `folder` from now on (an empty string: the usual places,
// paddle_models.h); for tests, which point it at an empty folder to see the fallback.
void setModelFolder(const QString &folder);

// Where recognise() cuts a page (8-bit grayscale) into bands that the engine reads one after the
// other, so that a stop is seen between two of them also while the engine is finding the lines
// of the page, which it does without looking at the stop flag: the rows where bands start, from
// 0, then the height. Bands are cut in the gaps between lines of print, some five lines of body
// text at 300 dpi each; a page without such gaps (a photograph), or too short to cut, is one band.
std::vector<int> bandCuts(const QImage &gray);

// Names the engines, how an image is given to one, Tesseract's language data (version, data
// files' sizes and times) and the PaddleOCR models' version: changes when what recognise() gives
// might change. Cheap: no engine is loaded.
QByteArray engineVersion();

// True for CJK characters: ideographs (with radicals, the compatibility and supplementary-plane
// ideographs), CJK punctuation and symbols, kana, Hangul syllables and full-width forms.
bool isCjk(char32_t c);

// `line` with the spaces between two CJK characters (CJK punctuation included), and between a
// CJK character and a digit, removed; other spaces (between Latin words) are kept.
QString joinCjk(QStringView line);

// The languages read, as Tesseract names them ("chi_sim+eng").
QByteArray languages();

} // namespace ocr
