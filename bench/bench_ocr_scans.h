#pragma once

#include <QString>

// Writes into `folder` oversized.pdf (8 pages of 1225 x 1800 pt made of 96 dpi strips, `keyword`
// on page 1), report.pdf (12 A4 pages scanned at 300 dpi, `keyword` on the last) and large/: an
// A4 page at 600 dpi as JPEG, two PDF files of a 60-inch square page scanned at 100 dpi and a
// JPEG claiming 30000 x 30000 pixels. Text from `characters`, fixed seed.
int generateLargeScans(const QString &folder, const QString &characters, const QString &keyword);
