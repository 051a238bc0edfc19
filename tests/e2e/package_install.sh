#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it into a scratch root with dpkg -x,
# checks the desktop entry, icons and AppStream file, then starts the installed program as an
# ordinary user (the program folder is not writable), opens and closes the chooser, and checks
# that the last-location file went to the user's configuration folder.
# Usage: package_install.sh <build folder>
source "$(dirname "$0")/lib.sh"
build=$1

pkg="$E2E_TMP/pkg"
(cd "$E2E_TMP" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$pkg" >"$E2E_TMP/cpack.log" 2>&1) ||
    { cat "$E2E_TMP/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$pkg"/quarlex_*.deb)
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt 6 runtime"
# The format module's libraries are the package's too.
dpkg-deb --field "$deb" Depends | grep -q 'libpoppler-qt6' || fail "Depends lacks the format module's libraries"
dpkg-deb --field "$deb" Recommends | grep -q 'fonts-arphic-ukai' || fail "Recommends lacks the CJK fonts"

root="$E2E_TMP/root"
dpkg -x "$deb" "$root"
for f in usr/bin/quarlex usr/lib/quarlex/libquarlex_formats.so usr/share/applications/quarlex.desktop \
         usr/share/icons/hicolor/48x48/apps/quarlex.png usr/share/icons/hicolor/256x256/apps/quarlex.png \
         usr/share/metainfo/io.github.quarlex.Quarlex.metainfo.xml usr/share/doc/quarlex/copyright \
         usr/share/man/man1/quarlex.1.gz; do
    [ -e "$root/$f" ] || fail "the package lacks $f"
done
desktop-file-validate "$root/usr/share/applications/quarlex.desktop" || fail "invalid desktop entry"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/io.github.quarlex.Quarlex.metainfo.xml" ||
    fail "invalid AppStream metainfo"
man -l "$root/usr/share/man/man1/quarlex.1.gz" 2>&1 | grep -q '^NAME' || fail "the manual page does not render"
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/quarlex.1.gz" 2>&1 >/dev/null |
    grep . && fail "the manual page has groff warnings"
[ "$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/48x48/apps/quarlex.png")" = 48x48 ] ||
    fail "the 48x48 icon has another size"
# The package ships the committed icon files unchanged.
data="$(cd "$(dirname "$0")/../.." && pwd)/data"
for icon in "$data"/icons/hicolor/*/apps/quarlex.png; do
    cmp -s "$icon" "$root/usr/share/${icon#"$data/"}" || fail "the package's ${icon#"$data/"} is not the committed file"
done

# The installed program runs as an ordinary user who cannot write to its folder.
home="$E2E_TMP/home"
mkdir -p "$home"
chmod 755 "$E2E_TMP"
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$home"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    chmod a-w "$root/usr/bin"
    as_user=()
fi
start_display --wm
start_app env HOME="$home" XDG_CONFIG_HOME="$home/.config" "${as_user[@]}" "$root/usr/bin/quarlex"
launcher=$(wait_window 'Quarlex - 批量查找')
sleep 1
xdotool mousemove --window "$launcher" 60 60 click 1
prompt=$(wait_window '^Quarlex$')
xdotool windowactivate --sync "$prompt" type --delay 20 'abc'
xdotool key --clearmodifiers Return
chooser=$(wait_window '选择导入数据的路径')
sleep 1
xdotool windowactivate --sync "$chooser" key --clearmodifiers alt+F4
ini="$home/.config/quarlex/find.ini"
wait_until test -e "$ini" || { ls -laR "$home" >&2; fail "no last-location file in the configuration folder"; }
[ -e "$root/usr/bin/find.ini" ] && fail "the last-location file went to the program folder"
[ "$(head -n 1 "$ini" | tr -d '\r' | iconv -f GBK -t UTF-8)" = '[路径]' ] || fail "unexpected first line"
[ "$(wc -l <"$ini")" -eq 4 ] || fail "the last-location file does not have four lines"
app_ended && fail "closing the chooser ended the program"
echo "PASS"
