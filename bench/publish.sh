#!/usr/bin/env bash
# The intake with publishing on and off, taking turns: starts a mosquitto of its own on 127.0.0.1
# and a free port, runs build/bench/bench_publish N times each way (default 7) and prints each
# run and the median lines/s of both, and their ratio.
#
#   bench/publish.sh [BUILD_DIR] [--runs N] [--lines N]
set -euo pipefail
build=build
runs=7
lines=1000000
while [ $# -gt 0 ]; do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --lines) lines=$2; shift 2 ;;
    *) build=$1; shift ;;
    esac
done
bench="$build/bench/bench_publish"
[ -x "$bench" ] || { echo "build $bench first (cmake --build $build --target bench_publish)"; exit 2; }
broker=$(command -v mosquitto || echo /usr/sbin/mosquitto)
[ -x "$broker" ] || { echo "mosquitto is not installed (scripts/setup.sh installs it)"; exit 2; }

dir=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
{
    echo "listener $port 127.0.0.1"
    echo "allow_anonymous true"
    echo "persistence false"
    [ "$(id -u)" -eq 0 ] && echo "user root"
} >"$dir/mosquitto.conf"
"$broker" -c "$dir/mosquitto.conf" >"$dir/broker.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.05
done

off=()
on=()
for i in $(seq "$runs"); do
    a=$("$bench" --lines "$lines")
    b=$("$bench" --lines "$lines" --broker "$port")
    echo "$i  $a"
    echo "$i  $b"
    off+=("$(sed -E 's/.*: ([0-9]+) lines\/s.*/\1/' <<<"$a")")
    on+=("$(sed -E 's/.*: ([0-9]+) lines\/s.*/\1/' <<<"$b")")
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
mOff=$(median "${off[@]}")
mOn=$(median "${on[@]}")
echo "median lines/s: not publishing $mOff, publishing $mOn, ratio $(awk -v a="$mOn" -v b="$mOff" 'BEGIN {printf "%.3f", a/b}')"
