#!/usr/bin/env bash
# Wall time and peak memory of korven-scan with the virtual scanner, end to end (program start to
# the file in place):
#   - a ten-page 300 dpi grey feeder batch of A4 pages into one PDF and into one TIFF;
#   - one 600 dpi colour A4 page into a PNG.
# Each case is also run into BMP (the framework's own uncompressed writer) in the same run, and the
# ratio to it is reported, so the figures say what the encoding costs on this machine.
#
# Usage: bench/bench_scan_cli.sh [DIR]   DIR: a build tree or an install prefix (default build/).
# Needs GNU time (/usr/bin/time, Debian package "time") or python3 to read the peak memory.
set -euo pipefail

root=${1:-build}
. "$(dirname "$0")/korven_build.sh"
korven_find_build bench_scan_cli "$root"

work=$(mktemp -d "${TMPDIR:-/tmp}/korven-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/windows/twain_32" "$work/out"
cp "$windows/TWAIN_32.DLL" "$work/windows/"
cp "$windows/twain_32/virtual.ds" "$work/windows/twain_32/"
printf 'PagesLoaded = 10\n' > "$work/windows/twain_32/virtual.ini"
export KORVEN_WINDOWS_DIR=$work/windows KORVEN_PROFILE=$work/windows/win.ini

# Prints "seconds peak_kib" of one run; the run must succeed.
measure() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%e %M' -o "$work/time" "$prog" -q "$@" || { echo "bench_scan_cli: korven-scan $* failed" >&2; exit 1; }
    cat "$work/time"
  else
    python3 - "$prog" "$@" <<'EOF'
import resource, subprocess, sys, time
t = time.monotonic()
rc = subprocess.call([sys.argv[1], "-q"] + sys.argv[2:])
if rc != 0:
    sys.exit("bench_scan_cli: korven-scan failed")
print("%.2f %d" % (time.monotonic() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
EOF
  fi
}

printf '%-44s %9s %10s %11s %9s\n' case seconds "peak MiB" "output MiB" "vs BMP"
run_case() {
  local label=$1 out=$2 bmp=$3
  shift 3
  rm -f "$work"/out/*
  read -r bsec _ < <(measure "$@" -o "$work/out/$bmp")
  rm -f "$work"/out/*
  read -r sec kib < <(measure "$@" -o "$work/out/$out")
  local bytes
  bytes=$(du -cb "$work"/out/* | tail -1 | cut -f1)
  awk -v l="$label" -v s="$sec" -v k="$kib" -v b="$bytes" -v r="$bsec" \
    'BEGIN { printf "%-44s %9.2f %10.1f %11.1f %8.2fx\n", l, s, k / 1024, b / 1048576, (r > 0 ? s / r : 0) }'
}

grey=(--feeder --pixel-type gray --resolution 300 --paper a4)
run_case "10 pages, 300 dpi grey A4, feeder -> PDF" batch.pdf "page-%02d.bmp" "${grey[@]}"
run_case "10 pages, 300 dpi grey A4, feeder -> TIFF" batch.tif "page-%02d.bmp" "${grey[@]}"
run_case "1 page, 600 dpi colour A4 -> PNG" page.png page.bmp --pixel-type rgb --resolution 600 --paper a4
