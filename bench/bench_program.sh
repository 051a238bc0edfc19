#!/usr/bin/env bash
# The real program driven like a person on a private Xvfb display (openbox as window manager):
# the keyword typed into the prompt, the chooser opened on a folder, a pattern typed into its
# type box (optional), every entry marked with Ctrl+A, "选定" chosen from the file list's menu.
# Prints the seconds from the key that chooses "选定" (Return on the menu item) to the report
# painted after the progress window has gone, as the program logs it with QUARLEX_TIMING set.
#   bench_program.sh QUARLEX FOLDER KEYWORD [PATTERN]
#   bench_program.sh --first-paint QUARLEX   seconds from the start to the launcher's first paint,
#                                            then the document readers' libraries mapped by then
#                                            ("none" when there is none)
source "$(dirname "$0")/../tests/e2e/lib.sh"

# Prints the time of the line $1 of the program's timing log; fails while there is none.
logged() {
    grep -m1 "^$1 " "$E2E_TMP/timing" 2>/dev/null | cut -d' ' -f2 | grep .
}

if [ "${1:-}" = --first-paint ]; then
    app=$2
    start_display --wm
    private_program "$app"
    start=$EPOCHREALTIME
    QUARLEX_TIMING="$E2E_TMP/timing" start_app "$E2E_PROGDIR/quarlex"
    E2E_WAIT=60 wait_until logged first-paint > /dev/null || fail "no first paint logged"
    seconds=$(echo "$(logged first-paint) - $start" | bc -l)
    mapped=$(grep -o -E '/(libpoppler|libarchive|libgsf|libtesseract|liblept|libxml2)[^/]*$' \
                 "/proc/$E2E_APP_PID/maps" | sort -u | tr -d / | paste -sd, -) || true
    echo "$seconds ${mapped:-none}"
    exit 0
fi

app=$1
folder=$2
keyword=$3
pattern=${4:-}
start_display --wm
private_program "$app"
# The chooser opens on the folder: its last-location file names it.
last_location / "$folder" > "$E2E_PROGDIR/find.ini"
QUARLEX_TIMING="$E2E_TMP/timing" start_app "$E2E_PROGDIR/quarlex"
launcher=$(wait_window 'Quarlex - 批量查找')
sleep 0.5

# The search label lies at 24..137 x 48..73 in the launcher.
xdotool mousemove --window "$launcher" 60 60 click 1
prompt=$(wait_window '^Quarlex$')
sleep 0.3
printf "%s" "$keyword" | xclip -selection clipboard 2> /dev/null
xdotool windowactivate --sync "$prompt" key --clearmodifiers ctrl+v
sleep 0.3
xdotool key --clearmodifiers Return
chooser=$(wait_window '选择导入数据的路径')
sleep 1

click_at() {
    xdotool mousemove --window "$chooser" "$1" "$2"
    sleep 0.1
    xdotool click "${3:-1}"
    sleep 0.3
}
if [ -n "$pattern" ]; then
    # The type box lies at 0..129 x 208..228 in the chooser.
    click_at 60 218
    xdotool key ctrl+a
    xdotool type --delay 50 "$pattern"
fi
# The listing of a large folder or tree, left time enough to end.
sleep "${BENCH_LIST_WAIT:-3}"
# The first entry is clicked, then Ctrl+A marks all of them.
click_at 150 7
xdotool key ctrl+a
sleep 0.5

windows=$(program_windows)
click_at 150 7 3
wait_more_windows "$windows"
sleep 0.3
# "选定" is the first item of the menu; the clock starts at the key that chooses it (xdotool
# waits 12 ms between two keys of one command).
xdotool key Down
start=$EPOCHREALTIME
xdotool key Return
E2E_WAIT=300 wait_until logged report-painted > /dev/null || fail "no report logged"
echo "$(logged report-painted) - $start" | bc -l
