#!/usr/bin/env bash
# The long soak and the two-process check.
#   tests/soak/soak.sh [ITERATIONS [SOAK_PROGRAM]]         1,000 random acquisitions by default, niced;
#                                                          prints the figures (and /usr/bin/time's peak)
#   tests/soak/soak.sh --two-processes PAGES [SOAK_PROGRAM] two processes scan the same source at once
#                                                          and note each page in one profile; nothing lost
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" = "--two-processes" ]; then
  pages=${2:-10}
  soak=${3:-$here/../../build/bin/soak}
  dir=$("$soak" --make-windows)
  trap 'rm -rf "$dir"' EXIT
  "$soak" --shared "$dir" --pages "$pages" --tag a & a=$!
  "$soak" --shared "$dir" --pages "$pages" --tag b & b=$!
  wait $a
  wait $b
  exec "$soak" --check-profile "$pages" --windows "$dir" --tags a,b
fi
iterations=${1:-1000}
soak=${2:-$here/../../build/bin/soak}
exec nice -n 10 "$soak" --iterations "$iterations"
