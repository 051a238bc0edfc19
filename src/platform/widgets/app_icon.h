#pragma once

class QIcon;
class QImage;

namespace platform {

// The program's icon at `size` x `size` pixels: the character 搜 in the brush-style face, its
// left component 扌 red and its right component 叟 black, on white. The design size is 48; every
// size is drawn from the same outline. Reduced to at most 256 colours, like the original icon.
QImage paintAppIcon(int size);

// The icon of the windows and the application, in the sizes desktops ask for (16 to 256).
QIcon applicationIcon();

} // namespace platform
