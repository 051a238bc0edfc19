#!/usr/bin/env bash
# "X" clicked on the launcher in the middle of a search over scanned documents, while the run
# and the workers ahead of it are each inside a page: the program ends at once and normally,
# with status 0 and no sanitizer's report, its readers stopped before its libraries went.
# Usage: close_mid_search.sh <path to quarlex> <folder of the document fixtures>
source "$(dirname "$0")/lib.sh"
app=$1
fixtures=$2

start_display --wm
private_program "$app"
progdir=$E2E_PROGDIR
data="$E2E_TMP/扫描件"
mkdir -p "$data"
last_location / "$data" >"$progdir/find.ini"
# Pages that are only pictures: each is recognised for a good while, and the keyword is on none.
for i in $(seq -w 1 20); do
    cp "$fixtures/ocr/pages.pdf" "$data/scan-$i.pdf"
done

start_app "$progdir/quarlex"
launcher=$(wait_window 'Quarlex - 批量查找')
ask_keyword "$launcher" '无此关键字'
chooser=$E2E_CHOOSER
# Mark every entry (a click on the first, then Shift+Down to the last), then "选定" from the menu.
xdotool mousemove --window "$chooser" 180 8 click 1
for i in $(seq 2 20); do xdotool key --clearmodifiers shift+Down; done
windows=$(program_windows)
xdotool mousemove --window "$chooser" 180 8 click 3
wait_more_windows "$windows"
xdotool key --clearmodifiers Down Return
wait_window '^Form2$' >/dev/null
# Well inside the first documents' pages.
sleep 2
visible_window '^Form2$' >/dev/null || fail "the search ended before the program was closed"
grep -q /libtesseract "/proc/$E2E_APP_PID/maps" || fail "no page was being recognised"

# "X" lies at 568..601 x 16..41 in the launcher.
xdotool mousemove --window "$launcher" 584 28 click 1
E2E_WAIT=20 wait_until app_ended || fail "the program still runs after X"
status=0
wait "$E2E_APP_PID" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status"
if grep -qE 'Sanitizer|runtime error|QThread: Destroyed' "$E2E_TMP/app.log"; then
    fail "the program's end was not clean"
fi
echo "PASS"
