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
        for _ in $(seq 1 50); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
            sleep 0.1
        done
    fi
}

# Starts a program in the background with the e2e environment; its pid is in E2E_APP_PID.
start_app() {
    QT_QPA_PLATFORM=xcb "$@" >"$E2E_TMP/app.log" 2>&1 &
    E2E_APP_PID=$!
    E2E_PIDS+=("$E2E_APP_PID")
}

# Waits for a window whose name matches $1 and prints its id.
wait_window() {
    local id=""
    for _ in $(seq 1 100); do
        id=$(xdotool search --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window named '$1'" >&2
    cat "$E2E_TMP/app.log" >&2 || true
    return 1
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Gives the program a private home and a folder of its own (a copy of the binary in
# $E2E_PROGDIR), so that its last-location file never lands in the build tree or a real home.
private_program() {
    export HOME="$E2E_TMP/home" XDG_CONFIG_HOME="$E2E_TMP/home/.config"
    mkdir -p "$XDG_CONFIG_HOME"
    E2E_PROGDIR="$E2E_TMP/prog"
    mkdir -p "$E2E_PROGDIR"
    cp "$1" "$E2E_PROGDIR/quarlex"
}
