#include "search/documents/format_support.h"
#include "search/documents/picture/picture.h"
#include "search/ocr/ocr.h"

namespace documents {

// Recognition of a picture takes long: on a worker.
const Format kPictureFormat{
    Kind::Picture, "1",    ocr::isPicture, anyFile, openSource<PictureExtractor, kPictureFormat>,
    true,          nullptr};

} // namespace documents
