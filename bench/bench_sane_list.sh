#!/usr/bin/env bash
# Listing the scanners: `korven-scan --list` (which lists, then opens the default source, as every
# activation does) against `scanimage -L`, both with SANE's own configuration of this machine
# (Debian's /etc/sane.d names most backends; finding their devices is most of the time), the two
# alternated ROUNDS times in one run. Reports the median wall and CPU seconds of each and the ratio
# of the wall times: SANE's discovery is slow, so korven-scan should pay for it once, as scanimage does.
#
# Usage: bench/bench_sane_list.sh [DIR [ROUNDS]]   DIR: a build tree or an install prefix (default
# build/), ROUNDS: runs of each program (default 3). Needs scanimage (sane-utils) and GNU time.
set -euo pipefail

. "$(dirname "$0")/korven_build.sh"
korven_find_build bench_sane_list "${1:-build}"
rounds=${2:-3}
[ -f "$windows/twain_32/sane.ds" ] || { echo "bench_sane_list: no sane.ds in $windows/twain_32" >&2; exit 2; }
command -v scanimage >/dev/null || { echo "bench_sane_list: scanimage is missing (sane-utils)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "bench_sane_list: GNU time is missing (/usr/bin/time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/korven-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/windows/twain_32"
cp "$windows/TWAIN_32.DLL" "$work/windows/"
cp "$windows"/twain_32/*.ds "$windows"/twain_32/*.ini "$work/windows/twain_32/"
export KORVEN_WINDOWS_DIR=$work/windows KORVEN_PROFILE=$work/windows/win.ini
unset SANE_CONFIG_DIR

measure() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || true
  cat "$work/time"
}
: > "$work/k" && : > "$work/s"
for ((i = 0; i < rounds; i++)); do
  measure "$prog" --list >> "$work/k"
  measure scanimage -L >> "$work/s"
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
cpu() { awk '{ print $2 + $3 }' "$1" | median; }
kw=$(cut -d' ' -f1 "$work/k" | median) sw=$(cut -d' ' -f1 "$work/s" | median)
printf 'listing with SANE configuration of this machine, %d runs each, alternated (load: %s)\n' "$rounds" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-22s %12s %12s\n' program "median wall" "median CPU"
printf '%-22s %12.2f %12.2f\n' "korven-scan --list" "$kw" "$(cpu "$work/k")"
printf '%-22s %12.2f %12.2f\n' "scanimage -L" "$sw" "$(cpu "$work/s")"
awk -v k="$kw" -v s="$sw" 'BEGIN { printf "wall time korven-scan / scanimage: %.2fx\n", (s > 0 ? k / s : 0) }'
