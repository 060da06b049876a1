#!/usr/bin/env bash
# Sets up the machine, builds, and starts KEST. Unless a real device is configured (KEST_COM1 set,
# or KEST_NO_SIM=1), a simulated device is started first and COM1 is mapped to it, so that
# "ロギング" works out of the box. Arguments are passed to the program (e.g. a CSV file to view).
set -euo pipefail
cd "$(dirname "$0")"

KEST_TARGETS="kest kest_sim" scripts/setup.sh build

SIM_PID=""
XVFB_PID=""
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# The channel count KEST will start with: [Setting] Channels of its profile beside the program
# (the per-user profile when build/ is not writable), 2 when none is set, limited to 1..8.
profile_channels() {
    local ini=build/kest.INI
    [ -w build ] || ini="${XDG_CONFIG_HOME:-$HOME/.config}/kest/kest.INI"
    local n=2
    if [ -r "$ini" ]; then
        # Section and key names compare without case, as the program reads them.
        n=$(tr -d '\r' <"$ini" | awk -F= '
            /^\[/ { s = (tolower($0) == "[setting]") }
            s && tolower($1) == "channels" { v = $2 + 0; found = 1 }
            END { print found ? v : 2 }')
    fi
    [ "$n" -lt 1 ] && n=1
    [ "$n" -gt 8 ] && n=8
    echo "$n"
}

if [ -z "${KEST_COM1:-}" ] && [ -z "${KEST_NO_SIM:-}" ]; then
    link="${XDG_RUNTIME_DIR:-/tmp}/kest-sim-$$"
    # The device sends as many channels as the graph shows, so no signal stays hidden.
    channels=$(profile_channels)
    build/kest_sim --channels "$channels" --rate 100 --amplitude 40 --base 50 --period 4 --link "$link" >/dev/null &
    SIM_PID=$!
    for _ in $(seq 1 50); do [ -e "$link" ] && break; sleep 0.1; done
    export KEST_COM1="$link"
    echo "Simulated device on $(readlink -f "$link") is COM1 ($channels channels, 100 lines/s)."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export DISPLAY=:77
    Xvfb "$DISPLAY" -screen 0 1280x800x24 >/dev/null 2>&1 &
    XVFB_PID=$!
    sleep 1
    echo "No display found: KEST runs on the virtual display $DISPLAY (Xvfb)."

fi

build/kest "$@"
