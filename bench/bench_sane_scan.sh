#!/usr/bin/env bash
# korven-scan against scanimage on the same SANE device, end to end (program start to the file in
# place): one A4 page at 300 dpi in colour from SANE's test backend into an uncompressed file
# (korven-scan: BMP; scanimage: PNM), the two programs alternated ROUNDS times in one run. Reports
# the median wall time of each and their ratio (goal: korven-scan at most 1.1 x scanimage), and the
# peak memory of each against the page's own size (2480 x 3508 x 3 bytes; goal: korven-scan at most
# 1.5 x the page).
#
# Usage: bench/bench_sane_scan.sh [DIR [ROUNDS]]   DIR: a build tree or an install prefix (default
# build/), ROUNDS: runs of each program (default 7). Needs scanimage (sane-utils) and GNU time
# (/usr/bin/time) or python3.
set -euo pipefail

root=${1:-build}
rounds=${2:-7}
prog=$root/bin/korven-scan
windows=""
for w in "$root/lib/korven/windows" "$root"/lib/*/korven/windows; do
  [ -f "$w/TWAIN_32.DLL" ] && windows=$w && break
done
[ -x "$prog" ] || { echo "bench_sane_scan: no program at $prog" >&2; exit 2; }
[ -n "$windows" ] && [ -f "$windows/twain_32/sane.ds" ] || { echo "bench_sane_scan: no Windows directory with sane.ds under $root/lib" >&2; exit 2; }
command -v scanimage >/dev/null || { echo "bench_sane_scan: scanimage is missing (sane-utils)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/korven-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/windows/twain_32" "$work/sane" "$work/out"
cp "$windows/TWAIN_32.DLL" "$work/windows/"
cp "$windows/twain_32/sane.ds" "$work/windows/twain_32/"
export KORVEN_WINDOWS_DIR=$work/windows KORVEN_PROFILE=$work/windows/win.ini SANE_CONFIG_DIR=$work/sane
echo test > "$work/sane/dll.conf"
# The page is set in the device's own configuration, so both programs scan it without options.
cat > "$work/sane/test.conf" <<'CONF'
number_of_devices 1
mode Color
depth 8
resolution 300.0
test-picture "Color pattern"
geometry_max 300.0
tl_x 0.0
tl_y 0.0
br_x 210.0
br_y 297.0
CONF
source="Noname frontend-tester (test:0)"
if "$prog" --help 2>&1 | grep -q -- '--device-name'; then pick=(-d "$source"); else pick=(--source "$source"); fi

# Prints "seconds peak_kib" of one run of a command; the run must succeed.
measure() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; echo "bench_sane_scan: $* failed" >&2; exit 1; }
    cat "$work/time"
  else
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
t = time.monotonic()
rc = subprocess.call(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
if rc != 0:
    sys.exit("bench_sane_scan: %s failed" % sys.argv[1])
print("%.3f %d" % (time.monotonic() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
PY
  fi
}

: > "$work/k" && : > "$work/s"
for ((i = 0; i < rounds; i++)); do
  rm -f "$work"/out/*
  measure "$prog" -q "${pick[@]}" -o "$work/out/page.bmp" >> "$work/k"
  rm -f "$work"/out/*
  measure scanimage -d test:0 --format=pnm -o "$work/out/page.pnm" >> "$work/s"
done

page=$((2480 * 3508 * 3))
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
ks=$(cut -d' ' -f1 "$work/k" | median)
ss=$(cut -d' ' -f1 "$work/s" | median)
km=$(cut -d' ' -f2 "$work/k" | sort -n | tail -1)
sm=$(cut -d' ' -f2 "$work/s" | sort -n | tail -1)
printf 'A4 300 dpi colour from the SANE test device, %d runs each, alternated\n' "$rounds"
printf '%-12s %14s %10s %14s\n' program "median seconds" "peak MiB" "peak / page"
awk -v s="$ks" -v m="$km" -v p="$page" 'BEGIN { printf "%-12s %14.3f %10.1f %13.2fx\n", "korven-scan", s, m / 1024, m * 1024 / p }'
awk -v s="$ss" -v m="$sm" -v p="$page" 'BEGIN { printf "%-12s %14.3f %10.1f %13.2fx\n", "scanimage", s, m / 1024, m * 1024 / p }'
awk -v k="$ks" -v s="$ss" 'BEGIN { printf "wall time korven-scan / scanimage: %.2fx (goal <= 1.1x)\n", (s > 0 ? k / s : 0) }'
