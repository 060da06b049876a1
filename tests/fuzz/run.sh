#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan, UBSan) in build-fuzz and replays the seed corpus
# of each once (seconds), or with --time SECONDS fuzzes each harness for that long, two at a
# time. New inputs go to build-fuzz/corpus/<name>, crashes to build-fuzz/findings/<name>.
# Usage: tests/fuzz/run.sh [--time SECONDS] [harness ...]
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
FUZZ_DIR=$ROOT/tests/fuzz
BUILD=$ROOT/build-fuzz

SECONDS_EACH=0
if [ "${1:-}" = "--time" ]; then
    SECONDS_EACH=${2:?--time needs a number of seconds}
    shift 2
fi
NAMES=("$@")
if [ ${#NAMES[@]} -eq 0 ]; then
    NAMES=(parse_csv csv_reader profile settings_file)
fi

if [ ! -f "$BUILD/build.ninja" ]; then
    CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DKEST_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" -j "$(nproc)" --target $(printf 'fuzz_%s ' "${NAMES[@]}") >/dev/null

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

if [ "$SECONDS_EACH" -eq 0 ]; then
    for name in "${NAMES[@]}"; do
        "$BUILD/fuzz/fuzz_$name" -runs=0 "$FUZZ_DIR/corpus/$name" 2>"$BUILD/replay_$name.log" || {
            cat "$BUILD/replay_$name.log" >&2
            echo "fuzz_$name: the seed corpus fails" >&2
            exit 1
        }
        echo "fuzz_$name: $(grep -c . <(ls "$FUZZ_DIR/corpus/$name")) seeds replayed"
    done
    exit 0
fi

run_one() {
    local name=$1
    mkdir -p "$BUILD/corpus/$name" "$BUILD/findings/$name"
    "$BUILD/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
        -dict="$FUZZ_DIR/$name.dict" -artifact_prefix="$BUILD/findings/$name/" \
        "$BUILD/corpus/$name" "$FUZZ_DIR/corpus/$name" >"$BUILD/fuzz_$name.log" 2>&1
}
status=0
for ((i = 0; i < ${#NAMES[@]}; i += 2)); do
    pids=()
    for name in "${NAMES[@]:i:2}"; do
        run_one "$name" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do
        wait "$pid" || status=1
    done
done
for name in "${NAMES[@]}"; do
    echo "== fuzz_$name (log: build-fuzz/fuzz_$name.log)"
    grep -E '^#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|ERROR|SUMMARY' "$BUILD/fuzz_$name.log" | tail -4 || true
done
exit $status
