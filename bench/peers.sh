#!/usr/bin/env bash
# KEST measured against peer programs on this machine, one function per figure, the programs
# taking turns, each figure's median printed with KEST's ratio to the peer.
#
#   bench/peers.sh [--load] [--mb N] [--big-mb N] [--runs N]
#   bench/peers.sh --live [--runs N] [--seconds S] [--captures N] [--interval MS]
#
# --load   (also what a run without options does) Opening an 8-channel CSV for viewing. Two files
#          are made once in the cache directory (KEST_PEERS_CACHE, default ~/.cache/kest-peers):
#          500 MB (--big-mb) and 50 MB (--mb), lines like a device's log (eight values of five to
#          six characters, CR LF ends). On each file, in turn N times (default 3): KEST, Kst,
#          pandas and `wc -l`, each as a whole process under /usr/bin/time: wall seconds, CPU
#          seconds (user + system, all threads) and peak resident memory.
#          KEST: `kest --render OUT.png --size 1600x1000 --channels 8 FILE.csv`, which reads the
#          file exactly as the viewer opens it (mapped, parsed on all cores) and draws one PNG.
#          Kst: `kst2 FILE.csv -P load -y 1 ... -y 8 --png OUT.png` under QT_QPA_PLATFORM=offscreen
#          and a private HOME whose data.conf says comma-separated columns; it reads the whole
#          file, draws one PNG and exits. pandas: `pandas.read_csv(FILE, header=None)`, the row
#          and column count checked against `wc -l`. KEST / peer is the median of the ratios of
#          the runs taken in the same turn.
# --live   The live view: 8 channels, full-swing signals, 1500 visible samples, window 1600 x 1000
#          under Xvfb. KEST logs a simulated device on a pseudo-terminal; Kst follows a file that
#          grows at the same rate. For 1000 and 200 lines/s: CPU of the program and of the X server
#          over S seconds (default 20), then N captures of the root window MS apart (default 60
#          captures, 160 ms), counting those that differ from the one before (frames/s = changed /
#          elapsed). The captures read the X server's screen file (Xvfb -fbdir), so they neither
#          load the server nor limit the rate. Then the pseudo-terminal throughput: numbered lines
#          at full speed into KEST's log, MB/s, and the wake-ups per second of a logging session
#          on which nothing arrives. KEST's rows add the CPU per distinct frame, and the paint and
#          hand-over to the X server its window thread spends per paint (live_bench measures
#          those itself).
#
# The machine's load average is printed before and after: other work on the cores shows there.
# KEST_BUILD_DIR=dir measures the programs of another build (e.g. of an older commit) as they
# are; otherwise build/ is brought up to date first. Installs what it needs (kst, python3-pandas,
# time, x11-utils, xvfb) with apt-get when missing.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { awk 'NR > 1 && /^#/ {sub(/^# ?/, ""); print; next} NR > 1 {exit}' "$0"; }

RUNS=3
CPU_SECONDS=20
CAPTURES=60
INTERVAL_MS=160
BUILD="${KEST_BUILD_DIR:-build}"
WARMUP_SECONDS=6
SMALL_MB=50
BIG_MB=500
DO_LIVE=0
DO_LOAD=0
while [ $# -gt 0 ]; do
    case "$1" in
    --live) DO_LIVE=1 ;;
    --load) DO_LOAD=1 ;;
    --mb) SMALL_MB="$2"; shift ;;
    --big-mb) BIG_MB="$2"; shift ;;
    --runs) RUNS="$2"; shift ;;
    --seconds) CPU_SECONDS="$2"; shift ;;
    --captures) CAPTURES="$2"; shift ;;
    --interval) INTERVAL_MS="$2"; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "peers.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
[ "$DO_LIVE" -eq 1 ] || DO_LOAD=1

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
        # It runs through the warm-up, the CPU window and the captures, then prints its own
        # figures (per frame: the paint and the hand-over to the X server) and exits.
        KEST_COM1="$WORK/com1" start_bg "$BUILD"/bench/live_bench --width 1600 --height 1000 \
            --seconds "$((WARMUP_SECONDS + CPU_SECONDS + (CAPTURES * INTERVAL_MS + 999) / 1000 + 2))" \
            >"$WORK/kest-out" 2>/dev/null
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
    local frames split="- -"
    frames=$(count_frames)
    if [ "$prog" = kest ]; then
        wait "$pid" 2>/dev/null || true
        split=$(awk '$1 == "paint_ms_per_frame" {p = $2} $1 == "handover_ms_per_frame" {h = $2}
                     END {print (p == "" ? "-" : p), (h == "" ? "-" : h)}' "$WORK/kest-out")
    fi
    stop_bg "$pid"
    stop_bg "$sim"
    rm -f "$WORK/grow.csv" "$WORK/com1"
    awk -v p="$((p1 - p0))" -v x="$((x1 - x0))" -v t="$((t1 - t0))" -v hz="$CLK_TCK" \
        -v f="$frames" -v s="$split" 'BEGIN {
            split(f, a, " "); split(s, b, " ");
            printf "%.2f %.2f %.2f %d/%d %s %s\n", 100 * p / hz / (t / 1e9),
                100 * x / hz / (t / 1e9), a[1] / a[3], a[1], a[2], b[1], b[2] }'
}

figure_live_view() {
    local rate=$1 r
    : >"$WORK/live-kest" ; : >"$WORK/live-kst"
    for r in $(seq 1 "$RUNS"); do
        for prog in kest kst; do
            live_run "$prog" "$rate" | tee -a "$WORK/live-$prog" |
                sed "s/^/  run $r $prog (cpu% x% frames\/s changed paint-ms hand-over-ms): /" >&2
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
    # Per distinct frame: the CPU of the program and of the X server; for KEST also its window
    # thread's paint and hand-over per paint, as it measures them itself.
    local kp kh
    kp=$(cut -d' ' -f5 "$WORK/live-kest" | median); kh=$(cut -d' ' -f6 "$WORK/live-kest" | median)
    printf '| live view %5s lines/s: ms of CPU per distinct frame, program + X server (KEST: paint %s + hand-over %s per paint) | %s + %s | %s + %s | - |\n' \
        "$rate" "$kp" "$kh" \
        "$(awk -v c="$kc" -v f="$kf" 'BEGIN {printf (f > 0 ? "%.2f" : "-"), 10 * c / f}')" \
        "$(awk -v c="$kx" -v f="$kf" 'BEGIN {printf (f > 0 ? "%.2f" : "-"), 10 * c / f}')" \
        "$(awk -v c="$sc" -v f="$sf" 'BEGIN {printf (f > 0 ? "%.2f" : "-"), 10 * c / f}')" \
        "$(awk -v c="$sx" -v f="$sf" 'BEGIN {printf (f > 0 ? "%.2f" : "-"), 10 * c / f}')"
}

figure_idle_wakeups() {
    local r
    : >"$WORK/idle"
    for r in $(seq 1 "$RUNS"); do
        "$BUILD"/bench/live_bench --idle --seconds 10 --width 1600 --height 1000 2>/dev/null |
            awk '$1 == "wakeups_per_s" {print $2}' >>"$WORK/idle"
        echo "  run $r: $(tail -n 1 "$WORK/idle") wake-ups/s" >&2
    done
    printf '| logging with no data arriving: wake-ups per second, all threads | %s | - | - |\n' \
        "$(median <"$WORK/idle")"
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
    echo "Live view, $(date -u '+%Y-%m-%d'), $(nproc) cores," \
        "load average $(cut -d' ' -f1-3 /proc/loadavg), medians of $RUNS runs:"
    echo "| figure | KEST | Kst | KEST / Kst |"
    echo "| --- | --- | --- | --- |"
    figure_live_view 1000
    figure_live_view 200
    figure_idle_wakeups
    figure_pty_throughput
    echo "Load average afterwards: $(cut -d' ' -f1-3 /proc/loadavg)"
}

# --- opening a CSV for viewing -----------------------------------------------------------------

CACHE="${KEST_PEERS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kest-peers}"

# Makes $CACHE/8ch-<MB>mb.csv once; prints its path. Eight channels of a slow sine plus noise,
# three decimals, CR LF ends, about 53 bytes a line.
csv_file() {
    local mb=$1 path="$CACHE/8ch-${1}mb.csv"
    if [ ! -s "$path" ]; then
        mkdir -p "$CACHE"
        echo "  making $path ($mb MB) ..." >&2
        awk -v bytes="$((mb << 20))" 'BEGIN {
            n = 12345; w = 0
            for (line = 0; w < bytes; ++line) {
                s = ""
                for (ch = 0; ch < 8; ++ch) {
                    n = (n * 1103515245 + 12345) % 4294967296
                    d = 5 * sin(line * (ch + 1) * 1e-3) + (int(n / 65536) % 1000) * 1e-3
                    s = s (ch ? "," : "") sprintf("%.3f", d)
                }
                print s "\r"
                w += length(s) + 2
            }
        }' >"$path.part"
        mv "$path.part" "$path"
    fi
    echo "$path"
}

# Runs a command under /usr/bin/time, its output in $WORK/out; prints "wall cpu peak_MB".
timed() {
    if ! /usr/bin/time -f '%e %U %S %M' -o "$WORK/time" "$@" >"$WORK/out" 2>&1; then
        echo "peers.sh: failed: $*" >&2
        tail -n 5 "$WORK/out" >&2
        exit 1
    fi
    awk '{printf "%.3f %.3f %.1f\n", $1, $2 + $3, $4 / 1024}' "$WORK/time"
}

# One load of file $2 by program $1 (kest, kst, pandas or wc); prints "wall cpu peak_MB".
load_run() {
    local prog=$1 file=$2 lines=$3 ys=() c
    case "$prog" in
    kest)
        rm -f "$WORK/kest.png"
        timed "$BUILD"/kest --render "$WORK/kest.png" --size 1600x1000 --channels 8 "$file"
        [ -s "$WORK/kest.png" ] || { echo "peers.sh: kest wrote no image" >&2; exit 1; }
        ;;
    kst)
        # Kst reads whitespace-separated columns unless its ASCII source is told otherwise, and
        # then silently plots only the first column.
        mkdir -p "$WORK/kst-home/.config/kst"
        printf '[ASCII%%20file]\nColumn%%20Type=2\nColumn%%20Delimiter=","\nData%%20Start=0\nRead%%20Fields=false\n' \
            >"$WORK/kst-home/.config/kst/data.conf"
        for c in 1 2 3 4 5 6 7 8; do ys+=(-y "$c"); done
        rm -f "$WORK/kst.png"
        timed env HOME="$WORK/kst-home" XDG_CONFIG_HOME="$WORK/kst-home/.config" \
            QT_QPA_PLATFORM=offscreen kst2 "$file" -P load "${ys[@]}" --png "$WORK/kst.png"
        [ -s "$WORK/kst.png" ] || { echo "peers.sh: kst2 wrote no image" >&2; exit 1; }
        ;;
    pandas)
        # The Debian interpreter, which python3-pandas is installed for.
        timed /usr/bin/python3 -c 'import sys, pandas
d = pandas.read_csv(sys.argv[1], header=None)
print(d.shape[0], d.shape[1])' "$file"
        [ "$(tail -n 1 "$WORK/out")" = "$lines 8" ] ||
            { echo "peers.sh: pandas read $(tail -n 1 "$WORK/out"), not $lines 8" >&2; exit 1; }
        ;;
    wc)
        timed wc -l "$file"
        ;;
    esac
}

# Median of column $2 of $WORK/load-<tag>-$1: seconds to 0.01, megabytes whole.
load_median() {
    cut -d' ' -f"$2" "$WORK/load-$TAG-$1" | median |
        awk -v c="$2" '{printf (c == 3 ? "%.0f" : "%.2f"), $1}'
}

# Median of KEST's ratio to program $1 in column $2, the runs of one turn paired.
load_ratio() {
    paste -d' ' <(cut -d' ' -f"$2" "$WORK/load-$TAG-kest") <(cut -d' ' -f"$2" "$WORK/load-$TAG-$1") |
        awk '$2 > 0 {printf "%.4f\n", $1 / $2}' | median | awk '{printf ($1 == "nan" ? "-" : "%.2f"), $1}'
}

figure_load() {
    local mb=$1 file lines r prog
    file=$(csv_file "$mb")
    lines=$(wc -l <"$file") # also brings the file into the page cache before the timed runs
    TAG=$mb
    for prog in kest kst pandas wc; do : >"$WORK/load-$TAG-$prog"; done
    for r in $(seq 1 "$RUNS"); do
        for prog in kest kst pandas wc; do
            load_run "$prog" "$file" "$lines" | tee -a "$WORK/load-$TAG-$prog" |
                sed "s/^/  $mb MB run $r $prog (wall s, cpu s, peak MB): /" >&2
        done
    done
    local what col samples
    samples=$((lines * 8))
    for col in 1 2; do
        [ "$col" -eq 1 ] && what="wall s" || what="CPU s (user + system)"
        printf '| %s MB, %s lines: %s | %s | %s | %s | %s | %s | %s | %s |\n' "$mb" "$lines" "$what" \
            "$(load_median kest $col)" "$(load_median kst $col)" "$(load_median pandas $col)" \
            "$(load_median wc $col)" "$(load_ratio kst $col)" "$(load_ratio pandas $col)" \
            "$(load_ratio wc $col)"
    done
    # Peak memory with bytes per sample (eight per line) in brackets.
    local m mem=()
    for prog in kest kst pandas wc; do
        m=$(load_median "$prog" 3)
        mem+=("$m ($(awk -v m="$m" -v n="$samples" 'BEGIN {printf "%.1f", m * 1048576 / n}'))")
    done
    printf '| %s MB, %s lines: peak memory MB (bytes per sample) | %s | %s | %s | %s | %s | %s | - |\n' \
        "$mb" "$lines" "${mem[@]}" "$(load_ratio kst 3)" "$(load_ratio pandas 3)"
}

run_load() {
    ensure_packages kst python3-pandas time
    [ -n "${KEST_BUILD_DIR:-}" ] || KEST_TARGETS="kest" scripts/setup.sh build >/dev/null
    echo "Opening an 8-channel CSV for viewing, $(date -u '+%Y-%m-%d'), $(nproc) cores," \
        "load average $(cut -d' ' -f1-3 /proc/loadavg), medians of $RUNS runs:"
    echo "| figure | KEST | Kst | pandas | wc -l | KEST / Kst | KEST / pandas | KEST / wc -l |"
    echo "| --- | --- | --- | --- | --- | --- | --- | --- |"
    figure_load "$BIG_MB"
    figure_load "$SMALL_MB"
    echo "Load average afterwards: $(cut -d' ' -f1-3 /proc/loadavg)"
}

if [ "$DO_LOAD" -eq 1 ]; then run_load; fi
if [ "$DO_LIVE" -eq 1 ]; then run_live; fi
