#!/usr/bin/env bash
# The whole typical search, driven like a person: click the search label, paste a Chinese
# keyword into the prompt, mark files in the chooser with the mouse, right-click for the menu,
# choose "选定", then select the report box's text, copy it and compare it with the expected
# report; then double-click the second hit and see its absolute path reach a stand-in
# xdg-open. Usage: search_flow.sh <path to quarlex> [folder for screenshots]
source "$(dirname "$0")/lib.sh"
app=$1
E2E_SHOTS=${2:-}

# The program runs from a folder of its own, so its last-location file lands there.
program_with_data "$app" 样例
progdir=$E2E_PROGDIR
data=$E2E_DATA

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

record_opener

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

# Where the report box shows text: its yellow pixels, rows with at least three of them (a text
# caret is one pixel wide) grouped into lines; rows a few pixels apart (the stems above the
# letters of a Latin name) belong to one line, blank lines between lines are much taller.
# Prints the middle of each line as a launcher y, top to bottom. The box's inside lies at
# 26..585 x 82..399.
report_lines() {
    import -window "$launcher" -depth 8 "$E2E_TMP/box.png" 2>/dev/null || return 1
    convert "$E2E_TMP/box.png" -crop 560x318+26+82 +repage -depth 8 txt:- |
        awk -F'[,:() ]+' 'NR > 1 && $3 > 150 && $4 > 150 && $5 < 90 { n[$2]++ }
            END {
                start = -1
                for (y = 0; y <= 318; y++) {
                    if (!((y in n) && n[y] >= 3)) continue
                    if (start >= 0 && y - end > 6) { print 82 + int((start + end) / 2); start = -1 }
                    if (start < 0) start = y
                    end = y
                }
                if (start >= 0) print 82 + int((start + end) / 2)
            }'
}
# Succeeds once the box shows the header and both entries, name and excerpt: five lines.
five_report_lines() {
    lines=($(report_lines))
    [ "${#lines[@]}" -eq 5 ]
}
# A click clears the selection of the copy above, whose colours hide the yellow text.
xdotool mousemove --window "$launcher" 300 390 click 1
wait_until five_report_lines || fail "the report box does not show five lines of text: ${lines[*]:-none}"
# The fourth line is the second entry's name line.
xdotool mousemove --window "$launcher" 200 "${lines[3]}" click --repeat 2 --delay 60 1
wait_until test -e "$E2E_TMP/opened" || fail "double-clicking the second hit opened nothing"
opened=$(cat "$E2E_TMP/opened")
[ "$opened" = "$data/b-gbk.txt" ] || fail "xdg-open was given '$opened', not '$data/b-gbk.txt'"

# The chooser is hidden, not gone: the search label shows it again with the same marks.
app_ended && fail "the program ended"
echo "PASS"
