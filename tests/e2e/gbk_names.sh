#!/usr/bin/env bash
# Names in GBK bytes, as a ZIP made on Chinese Windows unpacks them: a folder "资料" and in it a
# file "测试.txt", both named in GBK. Driven like a person: the folder list opens the folder,
# the file list shows the file by its readable name, "选定" finds the keyword in it and the
# report names it readable; Enter on the report's entry and "打开" in the chooser hand the file
# to a stand-in xdg-open, which must reach the file's real bytes; closing the chooser writes
# find.ini with the folder's bytes, and a second run opens the chooser in that folder again.
# Usage: gbk_names.sh <path to quarlex>
source "$(dirname "$0")/lib.sh"
app=$1

program_with_data "$app" data
progdir=$E2E_PROGDIR
data=$E2E_DATA
folder="$data/$(printf '\xd7\xca\xc1\xcf')"
file="$folder/$(printf '\xb2\xe2\xca\xd4').txt"
mkdir -p "$folder"
printf '合同：甲方同意批量查找的条款。\r\n' | iconv -f UTF-8 -t GBK >"$file"
printf 'nothing here\r\n' >"$folder/b.txt"
keyword='批量查找'

# The stand-in xdg-open: decodes a file URL the way xdg-open does and writes down the bytes it
# names, one record per call.
bin="$E2E_TMP/bin"
mkdir -p "$bin"
cat >"$bin/xdg-open" <<'STUB'
#!/bin/sh
target=$1
case "$target" in
file://*) target=$(/usr/bin/printf "$(echo "${target#file://}" | sed -e 's@%\([a-f0-9A-F]\{2\}\)@\\x\1@g')") ;;
esac
dir=$(dirname "$0")
printf '%s' "$target" >"$dir/part.$$" && mv "$dir/part.$$" "$dir/opened.$$"
STUB
chmod +x "$bin/xdg-open"
export PATH="$bin:$PATH"

has_record() {
    compgen -G "$bin/opened.*" >/dev/null
}

# Waits for the one record the stand-in writes next and checks that it names $file.
expect_opened() {
    wait_until has_record || fail "$1 opened nothing"
    local record
    record=$(ls "$bin"/opened.*)
    cmp -s "$record" <(printf '%s' "$file") ||
        fail "$1 opened '$(od -c "$record" | head -3)', not the GBK-named file"
    rm -f "$bin"/opened.*
}

# Clicks at a point of the chooser window.
click_at() {
    click_in "$chooser" "$@"
}

# Right-clicks the file list and chooses item $1 of the menu (1 "选定", 2 "打开").
menu_item() {
    local windows
    windows=$(program_windows)
    click_at 180 7 3
    wait_more_windows "$windows"
    local i
    for i in $(seq "$1"); do xdotool key --clearmodifiers Down; done
    xdotool key --clearmodifiers Return
}

start_app "$progdir/quarlex"
open_chooser "$keyword"
# The folder list (0..129 x 24..212) shows the data folder with the GBK folder below it, last:
# a click gives it the focus, End goes to the last row, Enter opens it.
click_at 60 30
xdotool key --clearmodifiers End Return
sleep 0.5

# The file list holds b.txt and 测试.txt; mark both and search.
click_at 180 7
xdotool key --clearmodifiers shift+Down
menu_item 1
wait_until window_hidden "$chooser" || fail "the chooser stayed on screen"
E2E_WAIT=30 wait_for_report "$launcher" < <(
    report_header "$data/资料"
    report_entry '测试.txt' '合同：甲方同意批量查找的条款。'
)

# Enter on the entry's name line (the fifth line of the report) opens the file.
xdotool windowactivate --sync "$launcher"
xdotool mousemove --window "$launcher" 300 390 click 1
sleep 0.3
xdotool key --clearmodifiers --delay 100 ctrl+Home Down Down Down Down Return
expect_opened "the report's entry"

# "打开" in the chooser, with only 测试.txt marked.
open_chooser "$keyword"
click_at 180 21
menu_item 2
expect_opened '"打开"'

# Closing the chooser writes the folder into find.ini: in GBK, which is the folder's own bytes.
xdotool windowactivate --sync "$chooser" key alt+F4
wait_until window_hidden "$chooser" || fail "the chooser did not close"
sleep 0.5
cmp -s "$progdir/find.ini" <(last_location / "$data/资料") ||
    fail "find.ini: $(od -c "$progdir/find.ini" | head -6)"
xdotool windowactivate --sync "$launcher" key alt+F4
wait_until app_ended || fail "the program still runs"

# A second run opens the chooser in the GBK folder again: its second entry is 测试.txt.
cd /
start_app "$progdir/quarlex"
open_chooser "$keyword"
click_at 180 21
menu_item 2
expect_opened "the restored chooser's \"打开\""
app_ended && fail "the program ended"
echo "PASS"
