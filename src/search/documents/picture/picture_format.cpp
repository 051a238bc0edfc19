#include "search/documents/format_support.h"
#include "search/documents/picture/picture.h"
#include "search/ocr/ocr.h"

namespace documents {

// Recognition of a picture takes long: on a worker. Version 2: every page of a TIFF and frame of a
// GIF, pictures over the pixel budget read scaled.
const Format kPictureFormat{
    Kind::Picture, "2",    ocr::isPicture, anyFile, openSource<PictureExtractor, kPictureFormat>,
    true,          nullptr};

} // namespace documents
