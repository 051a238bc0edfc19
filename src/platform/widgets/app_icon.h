#pragma once

class QIcon;

namespace platform {

// The icon of the windows and the application: the character 搜 in brush style, its left
// component 扌 red and its right component 叟 black, on white, in the sizes desktops ask for
// (16 to 256). The pictures are the committed files in data/icons, built into this library as
// the resource folder :/icons/hicolor, so the windows show the same pixels as the package's icon.
QIcon applicationIcon();

} // namespace platform
