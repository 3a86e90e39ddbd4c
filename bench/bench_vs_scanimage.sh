#!/usr/bin/env bash
# korven-scan with the virtual scanner against SANE's own front end, scanimage, with SANE's "test"
# backend, run alternately in the same run (A, B, A, B, ...), each case RUNS times (default 7).
# Reported per case: the median wall time of each and their ratio korven-scan / reference (the goal
# is <= 1.0 unless the case says otherwise); the same for CPU time (user + system), which a loaded
# machine does not inflate the way it does wall time; korven-scan's minor page faults; and its peak
# memory as a multiple of one page's pixels (A4 300 dpi colour: 2480 x 3508 x 3 bytes).
#
# Usage: bench/bench_vs_scanimage.sh [BUILD_OR_PREFIX [RUNS]]   (default build/, 7)
# Needs scanimage (Debian sane-utils, libsane1) and GNU time (/usr/bin/time), as scripts/deps.sh installs.
# Output files go to /dev/shm, so neither side waits for a disk.
set -euo pipefail

root=${1:-build}
runs=${2:-7}
. "$(dirname "$0")/korven_build.sh"
korven_find_build bench_vs_scanimage "$root"
command -v scanimage >/dev/null || { echo "bench_vs_scanimage: scanimage is missing (Debian sane-utils)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "bench_vs_scanimage: /usr/bin/time is missing (Debian time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/korven-vs-sane-XXXXXX")
out=$(mktemp -d /dev/shm/korven-vs-sane-XXXXXX)
trap 'rm -rf "$work" "$out"' EXIT

# The virtual scanner in a Windows directory of its own, ten pages in its feeder.
mkdir -p "$work/windows/twain_32"
cp "$windows/TWAIN_32.DLL" "$work/windows/"
cp "$windows/twain_32/virtual.ds" "$work/windows/twain_32/"
printf 'PagesLoaded = 10\n' > "$work/windows/twain_32/virtual.ini"
export KORVEN_WINDOWS_DIR=$work/windows KORVEN_PROFILE=$work/windows/win.ini

# SANE with only its test backend, its platen large enough for A4 (millimetres).
mkdir -p "$work/sane"
echo test > "$work/sane/dll.conf"
printf 'number_of_devices 1\ngeometry_max 500.0\nbr_x 500.0\nbr_y 500.0\n' > "$work/sane/test.conf"
export SANE_CONFIG_DIR=$work/sane

page_bytes=$((2480 * 3508 * 3))

# Runs one command; prints "wall_ms cpu_ms peak_kib minor_faults". The command must succeed.
one() {
  local t0 t1
  rm -f "$out"/*
  t0=$EPOCHREALTIME
  /usr/bin/time -f '%U %S %M %R' -o "$work/rss" "$@" >/dev/null 2>"$work/err" || {
    echo "bench_vs_scanimage: failed: $*" >&2
    cat "$work/err" >&2
    exit 1
  }
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" '{ printf "%.3f %.0f %d %d\n", (b - a) * 1000, ($1 + $2) * 1000, $3, $4 }' "$work/rss"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-44s %9s %9s %7s %6s %8s %8s %7s %9s\n' case "wall ms" "ref ms" ratio goal "cpu ms" "ref cpu" ratio faults peak/page
# case LABEL GOAL -- KORVEN ARGS... -- REFERENCE COMMAND...
case_() {
  local label=$1 goal=$2
  shift 3
  local k=() r=()
  while [ "$1" != "--" ]; do k+=("$1"); shift; done
  shift
  r=("$@")
  : > "$work/k" && : > "$work/r"
  one "${r[@]}" >/dev/null  # warm both up once: the first run of a program pays for the page cache
  one "$prog" -q "${k[@]}" >/dev/null
  for ((i = 0; i < runs; i++)); do
    one "$prog" -q "${k[@]}" >> "$work/k"
    one "${r[@]}" >> "$work/r"
  done
  local km rm kc rc kf kp
  km=$(cut -d' ' -f1 "$work/k" | median)
  rm=$(cut -d' ' -f1 "$work/r" | median)
  kc=$(cut -d' ' -f2 "$work/k" | median)
  rc=$(cut -d' ' -f2 "$work/r" | median)
  kf=$(cut -d' ' -f4 "$work/k" | median)
  kp=$(cut -d' ' -f3 "$work/k" | sort -n | tail -1)
  awk -v l="$label" -v a="$km" -v b="$rm" -v c="$kc" -v d="$rc" -v g="$goal" -v f="$kf" -v p="$kp" -v pb="$page_bytes" \
    'BEGIN { printf "%-44s %9.1f %9.1f %6.2fx %6s %8.0f %8.0f %6.2fx %7d %8.2fx\n", l, a, b, a / b, g, c, d, (d > 0 ? c / d : 0), f, p * 1024 / pb }'
}

sane=(scanimage -d test:0 --mode Color --resolution 300 -x 210 -y 297)
a4=(--pixel-type rgb --resolution 300 --paper a4)

case_ "start-up: --list vs scanimage -L" "" -- --list -- scanimage -L
case_ "A4 300 dpi colour, BMP vs PNM" "<=1.0" -- "${a4[@]}" -o "$out/p.bmp" -- "${sane[@]}" --format=pnm -o "$out/s.pnm"
case_ "A4 600 dpi colour, BMP vs PNM" "<=1.0" -- --pixel-type rgb --resolution 600 --paper a4 -o "$out/p.bmp" -- \
  scanimage -d test:0 --mode Color --resolution 600 -x 210 -y 297 --format=pnm -o "$out/s.pnm"
case_ "10 pages to one TIFF vs scanimage --batch" "<=1.0" -- --feeder "${a4[@]}" -o "$out/b.tif" -- \
  "${sane[@]}" --format=tiff --batch="$out/s%d.tif" --batch-count=10
case_ "A4 300 dpi colour, PNG vs --format=png" "<=1.0" -- "${a4[@]}" -o "$out/p.png" -- "${sane[@]}" --format=png -o "$out/s.png"
case_ "A4 300 dpi colour, JPEG vs --format=jpeg" "<=1.0" -- "${a4[@]}" -o "$out/p.jpg" -- "${sane[@]}" --format=jpeg -o "$out/s.jpg"
case_ "A4 300 dpi colour, TIFF vs --format=tiff" "<=1.0" -- "${a4[@]}" -o "$out/p.tif" -- "${sane[@]}" --format=tiff -o "$out/s.tif"
# PDF against korven-scan's own JPEG and PNG files of the same pages.
case_ "PDF 1 page vs korven-scan JPEG" "<=1.2" -- "${a4[@]}" -o "$out/p.pdf" -- "$prog" -q "${a4[@]}" -o "$out/p.jpg"
case_ "PDF 1 page vs korven-scan PNG" "<=1.2" -- "${a4[@]}" -o "$out/p.pdf" -- "$prog" -q "${a4[@]}" -o "$out/p.png"
case_ "PDF 10 pages vs 10 korven-scan JPEGs" "<=1.2" -- --feeder "${a4[@]}" -o "$out/b.pdf" -- \
  "$prog" -q --feeder "${a4[@]}" -o "$out/p%02d.jpg"
echo "peak/page: korven-scan's peak resident memory / one page's pixels ($page_bytes bytes); goal <= 2.1x"
