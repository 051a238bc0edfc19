#!/usr/bin/env bash
# Helpers for end-to-end tests that drive the real program on a private Xvfb display.
# Source it, then: start_display [--wm]; ... ; the display is stopped on exit.
set -euo pipefail

E2E_TMP=$(mktemp -d)
E2E_PIDS=()

cleanup_e2e() {
    local pid
    for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$E2E_TMP"
}
trap cleanup_e2e EXIT

# Starts Xvfb on a free display number and exports DISPLAY; --wm also starts openbox.
start_display() {
    exec {fd}<> <(:)
    Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    local num=""
    read -r -t 20 num <&"$fd" || { echo "Xvfb did not start" >&2; cat "$E2E_TMP/xvfb.log" >&2; exit 1; }
    export DISPLAY=":$num"
    if [ "${1:-}" = --wm ]; then
        openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
        E2E_PIDS+=($!)
        # Wait until the window manager owns the screen.
        wait_until wm_running || fail "the window manager did not start"
    fi
}

wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# Runs "$@" every 0.1 s until it succeeds. Gives up after $E2E_WAIT seconds (30 unless set):
# a sanitizer build on a busy machine can take seconds to map a window.
wait_until() {
    local deadline=$((SECONDS + ${E2E_WAIT:-30}))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Starts a program in the background with the e2e environment; its pid is in E2E_APP_PID.
start_app() {
    QT_QPA_PLATFORM=xcb "$@" >"$E2E_TMP/app.log" 2>&1 &
    E2E_APP_PID=$!
    E2E_PIDS+=("$E2E_APP_PID")
}

# Prints the first mapped window whose name matches $1; fails when there is none.
visible_window() {
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 | grep .
}

# Waits until a window whose name matches $1 is mapped and prints its id.
wait_window() {
    wait_until visible_window "$1" >/dev/null || fail "no window named '$1'"
    visible_window "$1"
}

# Succeeds when the window $1 is not mapped (hidden or destroyed).
window_hidden() {
    ! xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'
}

# Prints how many windows of the program are mapped; menus count too.
program_windows() {
    xdotool search --onlyvisible --pid "$E2E_APP_PID" 2>/dev/null | wc -l
}

more_windows() {
    [ "$(program_windows)" -gt "$1" ]
}

# Waits until the program maps more windows than the $1 it had (a popup menu has no name).
wait_more_windows() {
    wait_until more_windows "$1" || fail "no new window of the program appeared"
}

# Succeeds once the program started by start_app has ended.
app_ended() {
    ! kill -0 "$E2E_APP_PID" 2>/dev/null
}

# Fails the test with the message $*, after the program's and the window manager's output.
fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "$E2E_TMP/app.log" "$E2E_TMP/openbox.log"; do
        [ -s "$log" ] && { echo "--- ${log##*/}:" >&2; tail -n 40 "$log" >&2; }
    done
    exit 1
}

# Gives the programs started from here a private home and configuration folder.
private_home() {
    export HOME="$E2E_TMP/home" XDG_CONFIG_HOME="$E2E_TMP/home/.config"
    mkdir -p "$XDG_CONFIG_HOME"
}

# Starts the program $1 with a private home on a display with a window manager and waits for the
# launcher; its window id is in E2E_LAUNCHER.
start_launcher() {
    start_display --wm
    private_home
    start_app "$1"
    E2E_LAUNCHER=$(wait_window 'Quarlex - 批量查找')
}

# Gives the program a private home and a folder of its own (a copy of the binary in
# $E2E_PROGDIR), so that its last-location file never lands in the build tree or a real home.
private_program() {
    private_home
    E2E_PROGDIR="$E2E_TMP/prog"
    mkdir -p "$E2E_PROGDIR"
    cp "$1" "$E2E_PROGDIR/quarlex"
    # The format module, which the program loads from beside itself at its first document (a
    # program built without one, such as an older build timed against this one, has none).
    local module
    module="$(dirname "$1")/libquarlex_formats.so"
    if [ -e "$module" ]; then cp "$module" "$E2E_PROGDIR/"; fi
}

# Starts a display with a window manager and gives the program $1 a folder of its own (see
# private_program) whose last-location file names a new folder "$E2E_TMP/$2", so that the
# chooser opens on it; the folder, where the test puts the files to search, is in E2E_DATA.
program_with_data() {
    start_display --wm
    private_program "$1"
    E2E_DATA="$E2E_TMP/$2"
    mkdir -p "$E2E_DATA"
    last_location / "$E2E_DATA" >"$E2E_PROGDIR/find.ini"
}

# Gives the program a private runtime folder, where it copies archive members to open them.
private_runtime_dir() {
    export XDG_RUNTIME_DIR="$E2E_TMP/run"
    mkdir -m 0700 "$XDG_RUNTIME_DIR"
}

# Puts a stand-in xdg-open first on PATH: it writes down its arguments, one per line, into
# $E2E_TMP/opened, renaming the record into place only when it is complete.
record_opener() {
    mkdir -p "$E2E_TMP/bin"
    cat >"$E2E_TMP/bin/xdg-open" <<OPENER
#!/bin/sh
printf '%s\n' "\$@" >"$E2E_TMP/opened.part" && mv "$E2E_TMP/opened.part" "$E2E_TMP/opened"
OPENER
    chmod +x "$E2E_TMP/bin/xdg-open"
    export PATH="$E2E_TMP/bin:$PATH"
}

# In the launcher $1, clicks the search label, types the keyword $2 through the clipboard and
# waits for the chooser; its window id is in E2E_CHOOSER (not printed: the clipboard's owner
# would hold a command substitution open).
ask_keyword() {
    # The search label "。。。Zorvik" lies at 24..137 x 48..73 in the launcher.
    xdotool mousemove --window "$1" 60 60 click 1
    local prompt
    prompt=$(wait_window '^Quarlex$')
    printf '%s' "$2" | xclip -selection clipboard >/dev/null 2>&1
    xdotool windowactivate --sync "$prompt" key --clearmodifiers ctrl+v Return
    E2E_CHOOSER=$(wait_window '选择导入数据的路径')
}

# Waits for the launcher, then asks for the keyword $1 as ask_keyword does, leaving the launcher's
# id in $launcher and the chooser's in $chooser, each after a pause for the window to settle.
open_chooser() {
    launcher=$(wait_window 'Quarlex - 批量查找')
    sleep 0.5
    ask_keyword "$launcher" "$1"
    chooser=$E2E_CHOOSER
    sleep 0.5
}

# Clicks with the button $4 (the left one unless given) at $2,$3 in the window $1, pausing as
# a person does so that the program sees the press and the release apart.
click_in() {
    xdotool mousemove --window "$1" "$2" "$3"
    sleep 0.1
    xdotool click "${4:-1}"
    sleep 0.3
}

# In the chooser $1, clicks the first entry of the file list (which starts at x = 128) and then
# presses the keys $2... (shift+Down, ctrl+a) to mark more.
mark_entries() {
    local chooser=$1
    shift
    click_in "$chooser" 180 8
    xdotool key --clearmodifiers "$@"
}

# In the chooser $1, chooses "选定" from the file list's menu (it opens when the right button is
# released over the list) and waits until the run hides the chooser.
search_marked() {
    local windows
    windows=$(program_windows)
    xdotool mousemove --window "$1" 180 8 click 3
    wait_more_windows "$windows"
    xdotool key --clearmodifiers Down Return
    wait_until window_hidden "$1" || fail "the chooser stayed on screen"
}

# Waits until the stand-in xdg-open of record_opener was called, after $3 (what was acted on),
# and checks that it was given a copy of an archive member named $1 in the program's private
# folder, holding the text $2 in GBK.
expect_member_copy() {
    wait_until test -e "$E2E_TMP/opened" || fail "$3 opened nothing"
    local opened
    opened=$(cat "$E2E_TMP/opened")
    case "$opened" in
        "$XDG_RUNTIME_DIR"/quarlex-members/open-*/"$1") ;;
        *) fail "xdg-open was given '$opened', not a copy in the private folder" ;;
    esac
    [ "$(iconv -f GBK -t UTF-8 "$opened")" = "$2" ] || fail "the copy does not hold the member's bytes"
}

# Prints the last-location file (find.ini) naming the folders $1 and $2 as the program writes it:
# four lines in GBK, CR LF.
last_location() {
    printf '[路径]\r\n%s\r\n%s\r\n[/路径]\r\n' "$1" "$2" | iconv -f UTF-8 -t GBK
}

# Saves a screenshot of the whole screen as $1.png in the folder $E2E_SHOTS; does nothing when
# no folder is given.
shot() {
    [ -n "${E2E_SHOTS:-}" ] || return 0
    sleep 0.5
    import -window root "$E2E_SHOTS/$1.png"
}

# Prints the first lines of a search report: the searched folder $1.
report_header() {
    printf '\r\n  %s/\r\n\r\n\r\n' "$1"
}

# Prints the report's entry for a file that holds the keyword: its name $1 and the excerpt $2.
report_entry() {
    printf '%26s%s：\r\n\r\n%40s%s...\r\n\r\n' '' "$1" '' "$2"
}

# Reads the expected report from standard input (CR dropped: the box shows LF), then selects the
# whole report box of the launcher $1 (Text1 lies at 24..601 x 80..401), copies it and compares,
# again and again while the run may still be writing it. Fails with the difference when the box
# does not come to hold the expected report within $E2E_WAIT seconds.
wait_for_report() {
    local window=$1 expected actual=""
    expected=$(tr -d '\r'; echo x)
    wait_until copied_report_is_expected && return 0
    diff <(printf '%s' "$expected") <(printf '%s' "$actual") >&2 || true
    fail "the report box does not hold the expected report"
}

# For wait_for_report: copies the report box of $window into $actual and compares it with
# $expected.
copied_report_is_expected() {
    xdotool mousemove --window "$window" 300 200 click 1
    xdotool key --clearmodifiers ctrl+a ctrl+c
    sleep 0.3
    actual=$(xclip -o -selection clipboard | tr -d '\r'; echo x)
    [ "$actual" = "$expected" ]
}
