#pragma once

#include "search/documents/zip_package.h"

// What the package's readers share inside the documents library: the block size parts are handed
// over in, and the ratio test of the ZIP bomb limits (zip_package.h).
namespace documents {

inline constexpr qsizetype kBlockSize = 64 * 1024;

// True past the ratio floor when `inflated` exceeds `limit`.
inline bool overRatio(qint64 inflated, qint64 limit)
{
    return inflated > ZipPackage::kRatioFloor && inflated > limit;
}

} // namespace documents
