#!/usr/bin/env bash
# Runs every test suite: first under AddressSanitizer and UndefinedBehaviorSanitizer, then in the
# release build, ending with CTest's summary of the release run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKORVEN_SANITIZE=ON -DKORVEN_BUILD_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
(cd build-asan && ctest -j2 --output-on-failure -LE no-sanitize)
unset ASAN_OPTIONS UBSAN_OPTIONS
# Every fuzz target replays its corpus and runs 10 s on fresh inputs (clang, build-fuzz/).
scripts/fuzz.sh --ci
# The Windows cross build, and its Wine runs where this machine can run 32-bit programs.
scripts/test-windows.sh build-windows build
scripts/build.sh build
cd build && ctest -j2 --output-on-failure
