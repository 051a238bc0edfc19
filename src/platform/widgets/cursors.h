#pragma once

class QCursor;

namespace platform {

// The program's own 32 x 32 mouse pointers: a black outline around a fill. The fill stands for
// the screen-inverting fill of the pointer pictures; X11 cursors have no inverting pixels, so it
// is drawn white, which is what the inverting fill shows on the launcher's black background.

// A hand pointing up with its index finger; hot spot at the fingertip (11, 5).
QCursor handCursor();
// Four arrows pointing outwards from the centre; hot spot (16, 16).
QCursor moveCursor();
// A circle with a slash from top left to bottom right; hot spot (16, 16).
QCursor unavailableCursor();
// An arrow with a small hourglass below its right side; hot spot at the arrow tip (6, 7).
QCursor arrowHourglassCursor();

} // namespace platform
