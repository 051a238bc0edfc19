#pragma once

#include "search/ocr/ocr.h"

// The second recognition engine: PaddleOCR's models (PP-OCRv4 detection and recognition of
// Chinese, the mobile direction classifier) on OpenCV's dnn, CPU only, in the process. Made for
// photos and screenshots: lines at any angle and size on any background, columns of vertical
// text.
//
// The networks are kept in a pool as Tesseract's engines are: at most one set per core, each set
// a direction classifier and the recogniser for one input width. The detector, whose working
// memory grows with the picture (some 200 MiB at kDetectionPixels), is made for each picture and
// run by one thread at a time, so that two workers never hold two.
namespace ocr::paddle {

// Reads `image` (any format; read in grey): its lines found by the detector, each turned level
// and upright, read, and given in reading order (paddle_detection.h). Status::Unavailable when
// there are no models (models()) or OpenCV cannot run them, which stderr is told once. `stop` is
// polled before the detector runs and between two lines; `progress` is told a tenth once the
// lines are found, then as they are read, 100 at the end; `bandLines` is told every line at the
// end, as one band.
Result recognise(const QImage &image, const std::atomic<bool> *stop, const Progress &progress,
                 const BandLines &bandLines);

// How the engine reads (detector size, thresholds, the longest line), for engineVersion().
QByteArray pipelineVersion();

} // namespace ocr::paddle
