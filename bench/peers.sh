#!/usr/bin/env bash
# KEST measured against peer programs on this machine, one function per figure, the programs
# taking turns, each figure's median printed with KEST's ratio to the peer.
#
#   bench/peers.sh --live [--runs N] [--seconds S] [--captures N] [--interval MS]
#
# --live   The live view: 8 channels, full-swing signals, 1500 visible samples, window 1600 x 1000
#          under Xvfb. KEST logs a simulated device on a pseudo-terminal; Kst follows a file that
#          grows at the same rate. For 1000 and 200 lines/s: CPU of the program and of the X server
#          over S seconds (default 20), then N captures of the root window MS apart (default 60
#          captures, 160 ms), counting those that differ from the one before (frames/s = changed /
#          elapsed). The captures read the X server's screen file (Xvfb -fbdir), so they neither
#          load the server nor limit the rate. Then the pseudo-terminal throughput: numbered lines
#          at full speed into KEST's log, MB/s.
#
# KEST_BUILD_DIR=dir measures the programs of another build (e.g. of an older commit) as they
# are; otherwise build/ is brought up to date first. Installs what it needs (kst, x11-utils,
# xvfb) with apt-get when missing.
set -euo pipefail
cd "$(dirname "$0")/.."

RUNS=3
CPU_SECONDS=20
CAPTURES=60
INTERVAL_MS=160
BUILD="${KEST_BUILD_DIR:-build}"
WARMUP_SECONDS=6
DO_LIVE=0
while [ $# -gt 0 ]; do
    case "$1" in
    --live) DO_LIVE=1 ;;
    --runs) RUNS="$2"; shift ;;
    --seconds) CPU_SECONDS="$2"; shift ;;
    --captures) CAPTURES="$2"; shift ;;
    --interval) INTERVAL_MS="$2"; shift ;;
    -h | --help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "peers.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [ "$DO_LIVE" -eq 0 ]; then
    sed -n '2,20p' "$0"
    exit 2
fi

# --- setup -------------------------------------------------------------------------------------

ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

WORK=$(mktemp -d /tmp/kest-peers.XXXXXX)
FBDIR=$(mktemp -d /dev/shm/kest-peers-fb.XXXXXX 2>/dev/null || mktemp -d /tmp/kest-peers-fb.XXXXXX)
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK" "$FBDIR"
}
trap cleanup EXIT INT TERM

start_bg() { # runs a command in the background and remembers it; its pid in BG_PID
    "$@" &
    BG_PID=$!
    PIDS+=("$BG_PID")
}

stop_bg() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

CLK_TCK=$(getconf CLK_TCK)
cpu_ticks() { # user + system ticks of one process
    awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0
}
now_ns() { date +%s%N; }

median() { sort -g | awk '{a[NR] = $1} END {if (NR == 0) print "nan"; else if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

start_xvfb() {
    local d
    for d in $(seq 91 120); do
        [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] && continue
        start_bg Xvfb ":$d" -screen 0 1920x1200x24 -nolisten tcp -fbdir "$FBDIR"
        XVFB_PID=$BG_PID
        export DISPLAY=":$d"
        for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    done
    echo "peers.sh: no X server could be started" >&2
    exit 1
}

# --- live view ---------------------------------------------------------------------------------

SIM_ARGS=(--channels 8 --amplitude 45 --base 50 --period 2)

# Counts the captures of the root window that differ from the one before; prints "changed
# captures seconds".
count_frames() {
    local prev="" hash changed=0 t0 next i
    t0=$(now_ns)
    next=$t0
    for i in $(seq 1 "$CAPTURES"); do
        hash=$(md5sum <"$FBDIR/Xvfb_screen0")
        if [ -n "$prev" ] && [ "$hash" != "$prev" ]; then changed=$((changed + 1)); fi
        prev=$hash
        next=$((next + INTERVAL_MS * 1000000))
        local wait_ns=$((next - $(now_ns)))
        [ "$wait_ns" -gt 0 ] && sleep "$(awk -v n="$wait_ns" 'BEGIN {printf "%.3f", n / 1e9}')"
    done
    echo "$changed $CAPTURES $(awk -v a="$t0" -v b="$(now_ns)" 'BEGIN {printf "%.2f", (b - a) / 1e9}')"
}

# One live run of program $1 (kest or kst) at $2 lines/s; prints "cpu% xcpu% fps changed/captures".
live_run() {
    local prog=$1 rate=$2 sim pid
    case "$prog" in
    kest)
        start_bg "$BUILD"/kest_sim "${SIM_ARGS[@]}" --rate "$rate" --link "$WORK/com1" >/dev/null 2>&1
        sim=$BG_PID
        for _ in $(seq 1 50); do [ -e "$WORK/com1" ] && break; sleep 0.1; done
        KEST_COM1="$WORK/com1" start_bg "$BUILD"/bench/live_bench --width 1600 --height 1000 \
            --seconds 3600 >/dev/null 2>&1
        pid=$BG_PID
        ;;
    kst)
        start_bg "$BUILD"/kest_sim "${SIM_ARGS[@]}" --rate "$rate" --file "$WORK/grow.csv" >/dev/null 2>&1
        sim=$BG_PID
        sleep 1
        # Kst reads whitespace-separated columns unless its ASCII source is told otherwise.
        mkdir -p "$WORK/kst-home/.config/kst"
        printf '[ASCII%%20file]\nColumn%%20Type=2\nColumn%%20Delimiter=","\nData%%20Start=0\nRead%%20Fields=false\n' \
            >"$WORK/kst-home/.config/kst/data.conf"
        local ys=()
        for c in 1 2 3 4 5 6 7 8; do ys+=(-y "$c"); done
        HOME="$WORK/kst-home" XDG_CONFIG_HOME="$WORK/kst-home/.config" start_bg kst2 \
            -geometry 1600x1000+0+0 "$WORK/grow.csv" -f end -n 1500 -P live "${ys[@]}" \
            >/dev/null 2>&1
        pid=$BG_PID
        ;;
    esac
    sleep "$WARMUP_SECONDS"
    local p0 x0 t0 p1 x1 t1
    p0=$(cpu_ticks "$pid"); x0=$(cpu_ticks "$XVFB_PID"); t0=$(now_ns)
    sleep "$CPU_SECONDS"
    p1=$(cpu_ticks "$pid"); x1=$(cpu_ticks "$XVFB_PID"); t1=$(now_ns)
    local frames
    frames=$(count_frames)
    stop_bg "$pid"
    stop_bg "$sim"
    rm -f "$WORK/grow.csv" "$WORK/com1"
    awk -v p="$((p1 - p0))" -v x="$((x1 - x0))" -v t="$((t1 - t0))" -v hz="$CLK_TCK" \
        -v f="$frames" 'BEGIN {
            split(f, a, " ");
            printf "%.2f %.2f %.2f %d/%d\n", 100 * p / hz / (t / 1e9), 100 * x / hz / (t / 1e9),
                a[1] / a[3], a[1], a[2] }'
}

figure_live_view() {
    local rate=$1 r
    : >"$WORK/live-kest" ; : >"$WORK/live-kst"
    for r in $(seq 1 "$RUNS"); do
        for prog in kest kst; do
            live_run "$prog" "$rate" | tee -a "$WORK/live-$prog" |
                sed "s/^/  run $r $prog (cpu% x% frames\/s changed): /" >&2
        done
    done
    local kc kx kf kt sc sx sf st
    kc=$(cut -d' ' -f1 "$WORK/live-kest" | median); kx=$(cut -d' ' -f2 "$WORK/live-kest" | median)
    kf=$(cut -d' ' -f3 "$WORK/live-kest" | median)
    sc=$(cut -d' ' -f1 "$WORK/live-kst" | median); sx=$(cut -d' ' -f2 "$WORK/live-kst" | median)
    sf=$(cut -d' ' -f3 "$WORK/live-kst" | median)
    kt=$(awk -v a="$kc" -v b="$kx" 'BEGIN {print a + b}')
    st=$(awk -v a="$sc" -v b="$sx" 'BEGIN {print a + b}')
    printf '| live view %5s lines/s: CPU %% of a core, program + X server | %s + %s = %s | %s + %s = %s | %s |\n' \
        "$rate" "$kc" "$kx" "$kt" "$sc" "$sx" "$st" \
        "$(awk -v a="$kt" -v b="$st" 'BEGIN {printf (b > 0 ? "%.2f" : "-"), a / b}')"
    printf '| live view %5s lines/s: distinct frames per second (captures %s ms apart) | %s | %s | %s |\n' \
        "$rate" "$INTERVAL_MS" "$kf" "$sf" "$(awk -v a="$kf" -v b="$sf" 'BEGIN {printf (b > 0 ? "%.2f" : "-"), a / b}')"
}

figure_pty_throughput() {
    local r
    : >"$WORK/tp"
    for r in $(seq 1 "$RUNS"); do
        "$BUILD"/bench/live_bench --throughput --seconds 5 --width 1600 --height 1000 >"$WORK/tp-run" 2>/dev/null
        local mbs bad
        mbs=$(awk '$1 == "log_MB_per_s" {print $2}' "$WORK/tp-run")
        bad=$(awk '$1 == "bad_records" {print $2}' "$WORK/tp-run")
        echo "  run $r: $mbs MB/s into the log, $bad records lost, doubled or out of order" >&2
        echo "$mbs" >>"$WORK/tp"
    done
    printf '| pty at full speed into the log, 8-channel lines, view painting: MB/s | %s | - | - |\n' \
        "$(median <"$WORK/tp")"
}

run_live() {
    ensure_packages kst x11-utils xvfb
    [ -n "${KEST_BUILD_DIR:-}" ] || KEST_TARGETS="live_bench kest_sim" scripts/setup.sh build >/dev/null
    start_xvfb
    echo "Live view, $(date -u '+%Y-%m-%d'), $(nproc) cores, medians of $RUNS runs:"
    echo "| figure | KEST | Kst | KEST / Kst |"
    echo "| --- | --- | --- | --- |"
    figure_live_view 1000
    figure_live_view 200
    figure_pty_throughput
}

[ "$DO_LIVE" -eq 1 ] && run_live
