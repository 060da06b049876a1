#!/usr/bin/env bash
# CPU of the window following a growing file, beside logging the same rate, under Xvfb.
# Usage: bench/follow_cpu.sh [--seconds S] [--rate R] [--runs N]
#   idle     kest --follow on a file nobody writes
#   follow   kest --follow on a file kest_sim appends R lines/s to (8 channels)
#   logging  the view logging kest_sim's R lines/s from a pseudo-terminal (bench/live_bench)
# Each case: the window 1600 x 1000, 5 s to settle, then S seconds measured; prints the median
# over N runs of the program's CPU (% of a core), the X server's, and the program's wake-ups per
# second (voluntary context switches of all its threads).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${KEST_BUILD_DIR:-build}
SECONDS_MEASURED=20
RATE=1000
RUNS=3
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) SECONDS_MEASURED=$2; shift ;;
    --rate) RATE=$2; shift ;;
    --runs) RUNS=$2; shift ;;
    *) echo "usage: $0 [--seconds S] [--rate R] [--runs N]" >&2; exit 2 ;;
    esac
    shift
done
[ -n "${KEST_BUILD_DIR:-}" ] || KEST_TARGETS="kest kest_sim live_bench" scripts/setup.sh build >/dev/null

WORK=$(mktemp -d /tmp/kest-follow-XXXXXX)
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
start_bg() { "$@" >/dev/null 2>&1 & BG_PID=$!; PIDS+=("$BG_PID"); }
stop_bg() {
    kill "$1" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
CLK_TCK=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
wakeups() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ {s += $2} END {print s + 0}'; }
now_ns() { date +%s%N; }
median() { sort -g | awk '{a[NR] = $1} END {if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

for d in $(seq 71 99); do
    [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] && continue
    start_bg Xvfb ":$d" -screen 0 1920x1200x24 -nolisten tcp
    XVFB_PID=$BG_PID
    export DISPLAY=":$d"
    break
done
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The program beside a profile of its own: 8 channels, 100 samples per division.
cp "$BUILD/kest" "$WORK/kest"
{
    printf '[Setting]\r\nChannels=8\r\n[HSetting]\r\nRes=100\r\n'
    for c in 1 2 3 4 5 6 7 8; do printf '[VSetting%d]\r\nVRes=10\r\nPos=0\r\n' "$c"; done
} >"$WORK/kest.INI"
SIM=("$BUILD/kest_sim" --channels 8 --amplitude 45 --base 50 --period 2)

# Measures process $1 for the set time after the settle; prints "cpu% xcpu% wakeups/s".
measure() {
    local pid=$1 p0 x0 w0 t0 p1 x1 w1 t1
    sleep 5
    p0=$(cpu_ticks "$pid"); x0=$(cpu_ticks "$XVFB_PID"); w0=$(wakeups "$pid"); t0=$(now_ns)
    sleep "$SECONDS_MEASURED"
    p1=$(cpu_ticks "$pid"); x1=$(cpu_ticks "$XVFB_PID"); w1=$(wakeups "$pid"); t1=$(now_ns)
    awk -v p="$((p1 - p0))" -v x="$((x1 - x0))" -v w="$((w1 - w0))" -v t="$((t1 - t0))" \
        -v hz="$CLK_TCK" 'BEGIN {s = t / 1e9; printf "%.2f %.2f %.1f\n", 100 * p / hz / s, 100 * x / hz / s, w / s}'
}

# Starts the window following $1, 1600 x 1000; sets KEST_PID.
start_follow() {
    start_bg "$WORK/kest" --follow "$1"
    KEST_PID=$BG_PID
    for _ in $(seq 1 100); do
        xdotool search --pid "$KEST_PID" --name KEST >/dev/null 2>&1 && break
        sleep 0.1
    done
    for w in $(xdotool search --pid "$KEST_PID" --name KEST 2>/dev/null); do
        xdotool windowsize "$w" 1600 1000 2>/dev/null || true
    done
}

run_case() {
    local name=$1 sim="" out
    case "$name" in
    idle)
        "${SIM[@]}" --rate 100000 --count 3000 --file "$WORK/idle.csv" >/dev/null 2>&1
        start_follow "$WORK/idle.csv"
        ;;
    follow)
        start_bg "${SIM[@]}" --rate "$RATE" --file "$WORK/grow.csv"
        sim=$BG_PID
        for _ in $(seq 1 50); do [ -s "$WORK/grow.csv" ] && break; sleep 0.1; done
        start_follow "$WORK/grow.csv"
        ;;
    logging)
        start_bg "${SIM[@]}" --rate "$RATE" --link "$WORK/com1"
        sim=$BG_PID
        for _ in $(seq 1 50); do [ -e "$WORK/com1" ] && break; sleep 0.1; done
        KEST_COM1="$WORK/com1" start_bg "$BUILD"/bench/live_bench --width 1600 --height 1000 \
            --seconds $((SECONDS_MEASURED + 8))
        KEST_PID=$BG_PID
        ;;
    esac
    out=$(measure "$KEST_PID")
    stop_bg "$KEST_PID"
    [ -n "$sim" ] && stop_bg "$sim"
    rm -f "$WORK/grow.csv" "$WORK/idle.csv" "$WORK/com1"
    echo "$out"
}

echo "follow_cpu: $RATE lines/s, $SECONDS_MEASURED s measured, medians of $RUNS runs," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "| case | program CPU % | X server CPU % | program wake-ups/s |"
echo "|---|---|---|---|"
for name in ${KEST_FOLLOW_CASES:-idle follow logging}; do
    : >"$WORK/$name"
    for _ in $(seq 1 "$RUNS"); do run_case "$name" >>"$WORK/$name"; done
    printf '| %s | %s | %s | %s |\n' "$name" \
        "$(cut -d' ' -f1 "$WORK/$name" | median)" "$(cut -d' ' -f2 "$WORK/$name" | median)" \
        "$(cut -d' ' -f3 "$WORK/$name" | median)"
done
