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

if [ -z "${KEST_COM1:-}" ] && [ -z "${KEST_NO_SIM:-}" ]; then
    link="${XDG_RUNTIME_DIR:-/tmp}/kest-sim-$$"
    # The device sends as many channels as the graph shows (the channel count of kest's profile),
    # so no signal stays hidden.
    build/kest_sim --channels-from-profile --rate 100 --amplitude 40 --base 50 --period 4 \
        --link "$link" >/dev/null &
    SIM_PID=$!
    for _ in $(seq 1 50); do [ -e "$link" ] && break; sleep 0.1; done
    export KEST_COM1="$link"
    echo "Simulated device on $(readlink -f "$link") is COM1 (100 lines/s)."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export DISPLAY=:77
    Xvfb "$DISPLAY" -screen 0 1280x800x24 >/dev/null 2>&1 &
    XVFB_PID=$!
    sleep 1
    echo "No display found: KEST runs on the virtual display $DISPLAY (Xvfb)."

fi

build/kest "$@"
