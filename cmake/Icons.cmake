# The program's icon: 搜 in brush style, its left component 扌 red and its right component 叟
# black, on white. One committed PNG per size, data/icons/hicolor/<size>x<size>/apps/quarlex.png,
# painted by tools/icon_writer when a developer runs scripts/make_icons.sh (the picture depends on
# the installed fonts, so builds do not paint it). The windows take the files from a resource
# built into quarlex_platform; the package installs the same files.

# The design size 48 and the sizes desktops ask for; the only place that lists them.
set(QUARLEX_ICON_SIZES 16 22 24 32 48 64 128 256)

# The icon files, relative to data/.
set(QUARLEX_ICON_FILES)
foreach(size ${QUARLEX_ICON_SIZES})
    list(APPEND QUARLEX_ICON_FILES icons/hicolor/${size}x${size}/apps/quarlex.png)
endforeach()
