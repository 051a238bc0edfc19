#pragma once

#include "search/ocr/ocr.h"

// Text recognition through Tesseract (chi_sim+eng, the LSTM engine): made for pages of print,
// read in bands cut between their lines (bandCuts) so that a stop is seen within a page.
//
// Engines are loaded on the thread that first needs one and kept in a pool: at most one per core
// exists at a time, each reused by every later recognition, so that the language data is read
// once per worker and the memory stays bounded however many threads ask.
namespace ocr::tess {

// Rows of a band the engine reads at a time. Before it reads the words of an image the engine
// finds its lines, which takes it a good second on an A4 page at 300 dpi and never looks at the
// stop flag; a page read in bands of about this height (some five lines of body text) is
// stopped between two bands.
constexpr int kBandRows = 512;

// Reads `image` as ocr::recognise() says; Status::Unavailable when the language data is missing.
Result recognise(const QImage &image, const std::atomic<bool> *stop, const Progress &progress,
                 const BandLines &bandLines);

// How this library drives the engine (bands, the confidence of a line), the engine's version and
// its language data's sizes and times.
QByteArray version();

} // namespace ocr::tess
