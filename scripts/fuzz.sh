#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (AddressSanitizer and
# UndefinedBehaviorSanitizer, the whole tree instrumented) and runs them, one target at a time.
#   scripts/fuzz.sh [SECONDS [TARGET...]]  fresh inputs for SECONDS each (60 by default), starting from
#                                          the committed corpus fuzz/corpus/<target>/; new inputs go to
#                                          build-fuzz/corpus/<target>/ (not committed)
#   scripts/fuzz.sh --ci                   replays every committed corpus, then 10 s of fresh inputs each
#                                          (two targets at a time, one per core)
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
# One CI run: libFuzzer executes every committed input first (a crash there fails the run), then
# fuzzes until 10 s have passed. Its output is shown whole when it fails, its last line otherwise.
ci_run() {
  local t=$1 work log
  work=$(mktemp -d)
  log=$(mktemp)
  if build-fuzz/fuzz/"$t" -max_total_time=10 -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
       -artifact_prefix="$work"/ "$work" fuzz/corpus/"$t" >"$log" 2>&1; then
    echo "fuzz: $t: $(ls fuzz/corpus/"$t" | wc -l) corpus inputs replayed, then: $(grep -E '^(#[0-9]+|Done)' "$log" | tail -1)" >&2
    rm -rf "$work" "$log"
  else
    echo "fuzz: $t FAILED (input kept in $work):" >&2
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
}
if ((ci)); then
  failed=0 running=0
  for t in "${targets[@]}"; do
    if ((running == 2)); then
      wait -n || failed=1
      running=$((running - 1))
    fi
    ci_run "$t" &
    running=$((running + 1))
  done
  while ((running > 0)); do
    wait -n || failed=1
    running=$((running - 1))
  done
  exit "$failed"
fi
for t in "${targets[@]}"; do
  mkdir -p build-fuzz/corpus/"$t"
  nice -n 10 build-fuzz/fuzz/"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/corpus/"$t"- build-fuzz/corpus/"$t" fuzz/corpus/"$t"
done
