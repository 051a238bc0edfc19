#!/usr/bin/env bash
# Starts the program under a window manager, drags the launcher by its title with the mouse and
# checks that the window moved with it; a press on "Mix" does not drag, and "X" ends the
# program. Usage: launcher_drag.sh <path to quarlex>
source "$(dirname "$0")/lib.sh"

start_launcher "$1"
win=$E2E_LAUNCHER

# Prints the window's position as "x y".
position() {
    xdotool getwindowgeometry --shell "$win" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
}

# Prints the mouse position as "x y".
pointer() {
    xdotool getmouselocation --shell | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
}

# Prints where the launcher lies relative to the mouse, as "dx dy"; while a drag runs, this
# stays the same however the mouse moves.
offset() {
    local x y px py
    read -r x y < <(position)
    read -r px py < <(pointer)
    echo $((x - px)) $((y - py))
}

# Succeeds when the launcher lies within 2 pixels of the offset "$1 $2" from the mouse.
at_offset() {
    local dx dy
    read -r dx dy < <(offset)
    dx=$((dx - $1)) dy=$((dy - $2))
    [ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ]
}

# Succeeds when the launcher no longer lies at "$1 $2".
moved_from() {
    [ "$(position)" != "$1 $2" ]
}

# Press on the title (Label4 lies at 16..265 x 16..41 inside the window) and move a little: the
# first move starts the drag. The drag is live once a further small move carries the window.
read -r x0 y0 < <(position)
xdotool mousemove --window "$win" 60 28
sleep 0.2
xdotool mousedown 1
xdotool mousemove_relative -- 4 3
nudged() {
    xdotool mousemove_relative -- 1 1
    sleep 0.2
    moved_from "$x0" "$y0"
}
wait_until nudged || fail "pressing on the title and moving did not start a drag"
# Let the window catch up with the mouse, then move on and check that it keeps the same offset.
sleep 0.5
read -r ox oy < <(offset)
read -r px0 py0 < <(pointer)
for _ in $(seq 1 10); do
    xdotool mousemove_relative -- 12 8
    sleep 0.05
done
read -r px1 py1 < <(pointer)
wait_until at_offset "$ox" "$oy" ||
    fail "the window did not follow the mouse: offset $(offset) instead of $ox $oy"
xdotool mouseup 1
sleep 0.5
read -r x1 y1 < <(position)
echo "mouse moved from ($px0, $py0) to ($px1, $py1), launcher from ($x0, $y0) to ($x1, $y1)"
[ $((px1 - px0)) -ge 100 ] || fail "the mouse did not move"
[ $((x1 - x0)) -ge 100 ] || fail "the window did not move with the mouse"

# A press on "Mix" (456..489 x 16..41) and a move leaves the window where it is.
xdotool mousemove --window "$win" 470 28
sleep 0.2
xdotool mousedown 1
for _ in $(seq 1 5); do
    xdotool mousemove_relative -- 12 8
    sleep 0.05
done
xdotool mouseup 1
sleep 0.5
read -r x2 y2 < <(position)
[ "$x2 $y2" = "$x1 $y1" ] || fail "pressing on Mix dragged the window to ($x2, $y2)"
app_ended && fail "the program ended"

# A click on "X" (568..601 x 16..41) ends the program.
xdotool mousemove --window "$win" 584 28
sleep 0.2
xdotool click 1
wait_until app_ended || fail "the program still runs after a click on X"
wait "$E2E_APP_PID" || fail "the program ended with status $?"
echo "PASS"
