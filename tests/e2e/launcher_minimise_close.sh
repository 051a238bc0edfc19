#!/usr/bin/env bash
# Starts the program under a window manager: a click on "Mix" minimises the launcher, and
# Alt+F4 on the restored launcher ends the program as "X" does.
# Usage: launcher_minimise_close.sh <path to quarlex>
source "$(dirname "$0")/lib.sh"

start_launcher "$1"
win=$E2E_LAUNCHER

# Succeeds when the ICCCM state of the launcher is $1 (Normal or Iconic).
in_state() {
    [ "$(xprop -id "$win" WM_STATE 2>/dev/null | awk '/window state:/{print $3}')" = "$1" ]
}

wait_until in_state Normal || fail "the launcher is not shown"

# "Mix" lies at 456..489 x 16..41 inside the window.
xdotool mousemove --window "$win" 470 28
sleep 0.2
xdotool click 1
wait_until in_state Iconic || fail "a click on Mix did not minimise the launcher"
app_ended && fail "the program ended"

xdotool windowactivate --sync "$win"
wait_until in_state Normal || fail "the launcher was not restored"
# Typed through the X server, so that the window manager sees the shortcut.
xdotool key alt+F4
wait_until app_ended || fail "the program still runs after Alt+F4"
wait "$E2E_APP_PID" || fail "the program ended with status $?"
echo "PASS"
