#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (AddressSanitizer and
# UndefinedBehaviorSanitizer, the whole tree instrumented) and runs them, one target at a time.
#   scripts/fuzz.sh [SECONDS [TARGET...]]  fresh inputs for SECONDS each (60 by default), starting from
#                                          the committed corpus fuzz/corpus/<target>/; new inputs go to
#                                          build-fuzz/corpus/<target>/ (not committed)
#   scripts/fuzz.sh --ci                   replays every committed corpus, then 10 s of fresh inputs each
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is needed (scripts/deps.sh installs it)" >&2; exit 2; }
ci=0
if [ "${1:-}" = "--ci" ]; then ci=1; shift; fi
seconds=${1:-60}
shift || true
all=(fuzz_bmp fuzz_form_reader fuzz_dib fuzz_chgdlgs fuzz_ini fuzz_listing fuzz_dsm fuzz_source fuzz_cli_args)
targets=("${@:-${all[@]}}")
[ $# -gt 0 ] || targets=("${all[@]}")
if [ ! -f build-fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEN_SANITIZE=ON \
    -DKORVEN_FUZZ=ON -DKORVEN_BUILD_TESTS=OFF -DKORVEN_BUILD_BENCH=OFF >/dev/null
fi
# Only the targets and what they load (the manager, the virtual scanner, the stand-in manager).
cmake --build build-fuzz -j2 --target "${targets[@]}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export KORVEN_DESKTOP=quiet
for t in "${targets[@]}"; do
  seeds=fuzz/corpus/$t
  if ((ci)); then
    echo "fuzz: $t: replaying $(ls "$seeds" | wc -l) corpus inputs, then 10 s fresh" >&2
    build-fuzz/fuzz/"$t" -runs=0 "$seeds"
    work=$(mktemp -d)
    build-fuzz/fuzz/"$t" -max_total_time=10 -timeout=10 -rss_limit_mb=2048 -max_len=4096 "$work" "$seeds" 2>&1 | tail -3
    rm -rf "$work"
  else
    mkdir -p build-fuzz/corpus/"$t"
    nice -n 10 build-fuzz/fuzz/"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -artifact_prefix=build-fuzz/corpus/"$t"- build-fuzz/corpus/"$t" "$seeds"
  fi
done
