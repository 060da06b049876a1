#!/usr/bin/env bash
# Sets up the machine, builds, and runs the whole test suite twice: in the normal build and in a
# build with AddressSanitizer and UndefinedBehaviorSanitizer. Fails on any failure or report.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh build -DKEST_WERROR=ON
# The print tests need a running print system with the project's PDF queues.
scripts/cups.sh >/dev/null
(cd build && ctest --output-on-failure -j "$(nproc)")

scripts/setup.sh build-asan -DKEST_WERROR=ON -DKEST_SANITIZE=ON -DKEST_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ctest --output-on-failure -j "$(nproc)") 2>&1 | tee build-asan/ctest.log
if grep -E -q 'ERROR: AddressSanitizer|runtime error:|ERROR: LeakSanitizer' build-asan/ctest.log; then
    echo "Sanitizer reported a problem (see above)." >&2
    exit 1
fi
tests/fuzz/run.sh
# --- Debian package: build, contents, validators, install, run, remove ---
scripts/test_package.sh build
# --- end of the package block ---
echo "All tests passed in the normal and the sanitizer build, the fuzzing corpora replay cleanly,"
echo "and the package checks pass."
