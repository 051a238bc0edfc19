#!/usr/bin/env bash
# The whole typical search, driven like a person: click the search label, paste a Chinese
# keyword into the prompt, mark files in the chooser with the mouse, right-click for the menu,
# choose "选定", then select the report box's text, copy it and compare it with the expected
# report. Usage: search_flow.sh <path to quarlex> [folder for screenshots]
source "$(dirname "$0")/lib.sh"
app=$1
E2E_SHOTS=${2:-}

start_display --wm
# The program runs from a folder of its own, so its last-location file lands there.
private_program "$app"
progdir=$E2E_PROGDIR
data="$E2E_TMP/样例"
mkdir -p "$data"
last_location / "$data" >"$progdir/find.ini"

# Four files: a UTF-8 hit, a GBK file with the keyword split by a line break, a miss, and a
# GBK hit that stays unmarked.
printf '会议纪要：本季度的查找工具已经上线，欢迎试用。\n' >"$data/a-会议.txt"
printf 'Quarlex \xb2\xe9\r\n\xd5\xd2\xb9\xa4\xbe\xdf, version 1\r\n' >"$data/b-gbk.txt"
printf 'nothing to see here\n' >"$data/c-other.txt"
printf '\xb2\xe9\xd5\xd2\r\n' >"$data/d-unmarked.txt"
keyword='查找'

# Prints the window-relative position of a window's top-left corner on the screen as "x y".
origin() {
    xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
}

start_app "$progdir/quarlex"
launcher=$(wait_window 'Quarlex - 批量查找')
sleep 1
shot launcher

# The search label "。。。Zorvik" lies at 24..137 x 48..73 in the launcher.
xdotool mousemove --window "$launcher" 60 60 click 1
prompt=$(wait_window '^Quarlex$')
sleep 0.5
printf '%s' "$keyword" | xclip -selection clipboard
xdotool windowactivate --sync "$prompt" key --clearmodifiers ctrl+v
sleep 0.3
xdotool key --clearmodifiers Return

chooser=$(wait_window '选择导入数据的路径')
sleep 1
shot chooser-open

# Mark the first two entries: a click on the first one (the file list starts at x = 128 in the
# chooser, entries sorted by name), then Shift+Down extends the selection to the second.
xdotool mousemove --window "$chooser" 180 8 click 1
sleep 0.2
xdotool key --clearmodifiers shift+Down
sleep 0.3
shot chooser-marked

# The menu opens when the right button is released over the file list.
windows=$(program_windows)
xdotool mousemove --window "$chooser" 180 8 click 3
wait_more_windows "$windows"
shot chooser-menu
xdotool key --clearmodifiers Down Return

# The run hides the chooser and puts the report into the launcher's report box.
wait_until window_hidden "$chooser" || fail "the chooser stayed on screen"
shot report

E2E_WAIT=20 wait_for_report "$launcher" < <(
    report_header "$data"
    report_entry 'a-会议.txt' '会议纪要：本季度的查找工具已经上线，欢迎试用。'
    report_entry 'b-gbk.txt' 'Quarlex 查找工具version 1'
)

# The chooser is hidden, not gone: the search label shows it again with the same marks.
app_ended && fail "the program ended"
echo "PASS"
