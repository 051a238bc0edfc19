#!/usr/bin/env bash
# The chooser driven like a person: the launcher's search label and a keyword open it on the
# working folder; the keyboard opens a subfolder; the mouse marks files, the paging button
# moves the mark, the right button opens the two-item menu; "打开" hands the marked file to
# the desktop (a stand-in xdg-open that writes down its arguments); the close box (Alt+F4
# through the window manager) writes find.ini next to the program. A second run opens the
# chooser where the first one left it, and "ReLoad" with a cancelled prompt unloads it.
# Usage: chooser_flow.sh <path to quarlex> [folder for screenshots]
source "$(dirname "$0")/lib.sh"
app=$1
E2E_SHOTS=${2:-}

start_display --wm
# The program runs from a folder of its own, so its last-location file lands there.
private_program "$app"
progdir=$E2E_PROGDIR

# The stand-in for the desktop's opener, first on PATH.
bin="$E2E_TMP/bin"
mkdir -p "$bin"
cat >"$bin/xdg-open" <<'STUB'
#!/bin/sh
for a in "$@"; do printf '%s\n' "$a"; done >>"$(dirname "$0")/opened"
STUB
chmod +x "$bin/xdg-open"
export PATH="$bin:$PATH"

data="$E2E_TMP/数据"
mkdir -p "$data/alpha" "$data/beta"
for f in one.txt two.txt; do : >"$data/$f"; done
for i in $(seq -w 1 30); do : >"$data/alpha/file$i.txt"; done
: >"$data/alpha/-x 中文.txt"

# Clicks at a point of the chooser window.
click_at() {
    click_in "$chooser" "$@"
}

# The centre of the file list's entry `row` in the chooser (its entries are 14 pixels high).
row_y() {
    echo $((7 + 14 * $1))
}

# Right-clicks the file list and chooses the second item, "打开", with the keyboard.
open_marked() {
    local windows
    windows=$(program_windows)
    click_at 150 "$(row_y 0)" 3
    wait_more_windows "$windows"
    shot "menu-$1"
    xdotool key Down Down Return
    sleep 0.5
}

# Succeeds when the stand-in opener has written at least $1 lines.
opened_lines() {
    [ -f "$bin/opened" ] && [ "$(wc -l <"$bin/opened")" -ge "$1" ]
}

# Waits until the stand-in opener has written $1 lines and prints them sorted: each file gets
# an opener of its own and they run side by side, so the order they write in is not the order
# they were started in.
opened() {
    wait_until opened_lines "$1" || true
    LC_ALL=C sort "$bin/opened" 2>/dev/null || true
    rm -f "$bin/opened"
}

# Succeeds when no window, mapped or not, is named $1.
no_window() {
    ! xdotool search --name "$1" >/dev/null 2>&1
}

# --- First run, from the data folder: no find.ini yet, so the chooser opens there.
cd "$data"
start_app "$progdir/quarlex"
open_chooser '查找'
sleep 1
shot chooser-first

# The keyboard opens "alpha": Tab from the file list to the folder list, down one, Enter.
xdotool windowactivate --sync "$chooser"
click_at 150 "$(row_y 0)"
xdotool key Tab Down Return
sleep 0.5
shot chooser-alpha

# Mark the first entry and, with Ctrl, the third; "打开" hands both over.
click_at 150 "$(row_y 0)"
xdotool keydown ctrl
click_at 150 "$(row_y 2)"
xdotool keyup ctrl
shot chooser-marked
open_marked two
got=$(opened 2)
want=$(printf '%s\n%s' "$data/alpha/-x 中文.txt" "$data/alpha/file02.txt")
[ "$got" = "$want" ] || fail "opened: '$got', expected '$want'"

# ■▼ leaves only the entry 20 below the current one marked.
click_at 304 124
shot chooser-paged
open_marked paged
got=$(opened 1)
[ "$got" = "$data/alpha/file22.txt" ] || fail "after paging opened: '$got'"

# A typed pattern narrows the list; Ctrl+A marks all that is left.
click_at 60 218
xdotool key ctrl+a
xdotool type --delay 50 'file1*'
sleep 0.5
click_at 150 "$(row_y 0)"
xdotool key ctrl+a
shot chooser-filtered
open_marked filtered
got=$(opened 10)
want=$(for i in $(seq 10 19); do echo "$data/alpha/file$i.txt"; done)
[ "$got" = "$want" ] || fail "filtered opened: '$got'"

# The close box (the window manager's close, here by Alt+F4) unloads the chooser, which writes
# find.ini next to the program; the launcher stays.
xdotool windowactivate --sync "$chooser" key alt+F4
wait_until no_window '选择导入数据的路径' || fail "the chooser did not close"
app_ended && fail "closing the chooser ended the program"
cmp -s "$progdir/find.ini" <(last_location / "$data/alpha") ||
    fail "find.ini: $(od -c "$progdir/find.ini" 2>&1 | head -5)"

launcher=$(wait_window 'Quarlex - 批量查找')
xdotool windowactivate --sync "$launcher" key alt+F4
wait_until app_ended || fail "the program still runs"

# --- Second run, from elsewhere: the chooser opens where the first run left it.
cd /
start_app "$progdir/quarlex"
open_chooser '查找'
sleep 1
shot chooser-restored
xdotool windowactivate --sync "$chooser"
click_at 150 "$(row_y 1)"
open_marked restored
got=$(opened 1)
[ "$got" = "$data/alpha/file01.txt" ] || fail "the restored chooser opened '$got'"

# "ReLoad" with a cancelled prompt: the message, then the chooser unloads and saves.
rm "$progdir/find.ini"
click_at 284 8
prompt=$(wait_window '^Quarlex$')
sleep 0.3
xdotool windowactivate --sync "$prompt" key Escape
# The message box has the prompt's title: wait until the prompt has gone first.
wait_until window_hidden "$prompt" || fail "Escape did not close the prompt"
message=$(wait_window '^Quarlex$')
shot reload-message
xdotool windowactivate --sync "$message" key Return
wait_until no_window '选择导入数据的路径' || fail "ReLoad with no keyword did not close the chooser"
cmp -s "$progdir/find.ini" <(last_location / "$data/alpha") || fail "ReLoad did not save find.ini"
app_ended && fail "the program ended"
ls "$progdir" | grep -qiv '^\(quarlex\|libquarlex_formats\.so\|find\.ini\)$' &&
    fail "stray files: $(ls "$progdir")"
echo "PASS"
