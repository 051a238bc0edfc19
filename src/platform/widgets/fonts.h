#pragma once

#include <QString>

class QFont;

namespace platform {

// The brush-style face the windows' labels ask for. It is not shipped on Linux; the substitutes
// registered below stand in for it.
QString calligraphicFamily();

// Registers the substitutes of the calligraphic face: a brush-style CJK face first, then a
// general CJK face, so that the captions never show empty boxes. Call once at start-up, before
// any window is created; calling it again changes nothing.
void registerFontSubstitutes();

// The calligraphic face at `pointSize`, regular or bold.
QFont calligraphicFont(qreal pointSize, bool bold = false);

} // namespace platform
