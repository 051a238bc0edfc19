#!/usr/bin/env bash
# Starts the program under a window manager, drags the launcher by its title with the mouse and
# checks that the window moved with it; a press on "Mix" does not drag, and "X" ends the
# program. Usage: launcher_drag.sh <path to quarlex>
source "$(dirname "$0")/lib.sh"
app=$1

start_display --wm
export HOME="$E2E_TMP/home" XDG_CONFIG_HOME="$E2E_TMP/home/.config"
mkdir -p "$XDG_CONFIG_HOME"
start_app "$app"
win=$(wait_window 'Quarlex - 批量查找')

# Prints the window's position as "x y".
position() {
    xdotool getwindowgeometry --shell "$win" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
}

# Prints the mouse position as "x y".
pointer() {
    xdotool getmouselocation --shell | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
}

# Wait until the window is mapped and placed.
for _ in $(seq 1 50); do
    xdotool getwindowgeometry "$win" >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 0.5

# Press on the title (Label4 lies at 16..265 x 16..41 inside the window). The first small move
# starts the drag; once the window manager has taken over, the window follows every further move.
xdotool mousemove --window "$win" 60 28
sleep 0.2
xdotool mousedown 1
sleep 0.2
xdotool mousemove_relative -- 4 3
sleep 0.5
read -r px0 py0 < <(pointer)
read -r x0 y0 < <(position)
for _ in $(seq 1 10); do
    xdotool mousemove_relative -- 12 8
    sleep 0.05
done
sleep 0.3
read -r px1 py1 < <(pointer)
xdotool mouseup 1
sleep 0.5
read -r x1 y1 < <(position)
echo "mouse moved from ($px0, $py0) to ($px1, $py1), launcher from ($x0, $y0) to ($x1, $y1)"

dx=$((x1 - x0 - (px1 - px0)))
dy=$((y1 - y0 - (py1 - py0)))
[ $((px1 - px0)) -ge 100 ] || fail "the mouse did not move"
[ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ] ||
    fail "the window did not follow the mouse: off by ($dx, $dy)"

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
kill -0 "$E2E_APP_PID" 2>/dev/null || fail "the program ended"

# A click on "X" (568..601 x 16..41) ends the program.
xdotool mousemove --window "$win" 584 28
sleep 0.2
xdotool click 1
for _ in $(seq 1 50); do
    kill -0 "$E2E_APP_PID" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$E2E_APP_PID" 2>/dev/null && fail "the program still runs after a click on X"
wait "$E2E_APP_PID" || fail "the program ended with status $?"
echo "PASS"
