#pragma once

#include <QByteArrayView>

namespace platform {

// The first occurrence of `needle` in [begin, end), or nullptr. Needles of two bytes and more are
// searched by vector code (their last two bytes compared at 16 or 32 positions at once, AVX2 when
// the processor has it), which outruns memmem on the short needles a character makes.
const char *findBytes(const char *begin, const char *end, QByteArrayView needle);

} // namespace platform
