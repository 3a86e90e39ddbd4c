#!/usr/bin/env bash
# The Windows half of the tests: scripts/test-windows.sh [WINDOWS_BUILD_DIR [LINUX_BUILD_DIR]]
#
# 1. Cross-builds the Windows tree (scripts/build-windows.sh, default build-windows/).
# 2. Checks whether this machine can run 32-bit x86 programs (Wine's 32-bit loader needs them). When
#    it cannot, it says why and that the Wine runs are skipped, and exits 0: the build is the test.
# 3. Otherwise, in a private 32-bit Wine prefix under Xvfb, with korven's virtual scanner installed
#    where Wine's manager looks for sources (C:\windows\twain_32\sane.ds, its settings as sane.ini):
#      a. twain_round_trip.exe against Wine's own twain_32.dll,
#      b. twain_round_trip.exe against korven's TWAIN_32.DLL (a native DLL in C:\windows),
#    and compares every page with the Linux build's pages for the same settings (LINUX_BUILD_DIR,
#    default build/, whose twain_round_trip is built here if needed).
# The Wine part has not run on the machine it was written on (its kernel refuses 32-bit programs).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win_dir=${1:-build-windows}
linux_dir=${2:-build}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
install() {
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  ((${#missing[@]})) || return 0
  echo "test-windows: installing ${missing[*]}" >&2
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# ---- 1. The cross build -------------------------------------------------------------------------
install cmake ninja-build g++-mingw-w64-i686-posix
start=$(date +%s)
scripts/build-windows.sh "$win_dir"
echo "test-windows: Windows tree built in $(( $(date +%s) - start )) s ($win_dir)"

# ---- 2. Can 32-bit programs run here? -------------------------------------------------------------
skip() {
  echo "test-windows: SKIPPED the Wine runs: $*" >&2
  echo "test-windows: the Windows build itself succeeded; nothing of it was run." >&2
  exit 0
}
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386 || skip "the i386 architecture cannot be added to dpkg"
fi
install wine wine32:i386 xvfb xauth || skip "wine, wine32:i386 or xvfb cannot be installed"
if [ ! -e /lib/ld-linux.so.2 ]; then
  skip "there is no 32-bit loader (/lib/ld-linux.so.2) although wine32 is installed"
fi
if ! probe=$(/lib/ld-linux.so.2 --help 2>&1 >/dev/null); then
  skip "this kernel does not run 32-bit x86 programs (${probe:-/lib/ld-linux.so.2 fails}); 32-bit Wine needs them (a kernel with IA32 emulation, e.g. not booted with ia32_emulation=0)"
fi

# ---- 3. Wine ---------------------------------------------------------------------------------------
[ -f "$linux_dir/CMakeCache.txt" ] || scripts/build.sh "$linux_dir"
cmake --build "$linux_dir" -j2 --target twain_round_trip korven_dsm korven_virtual_ds

work=$root/$win_dir/wine
rm -rf "$work/pages"
mkdir -p "$work/pages/wine-manager" "$work/pages/korven-manager"
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts
run_x() { xvfb-run -a -s "-screen 0 1024x768x24" "$@"; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  run_x timeout 600 wineboot -i
  wineserver -w
fi
windows=$WINEPREFIX/drive_c/windows
mkdir -p "$windows/twain_32"
# A run stopped half-way may have left korven's manager in place of Wine's.
[ -f "$windows/twain_32.dll.wine" ] && mv "$windows/twain_32.dll.wine" "$windows/twain_32.dll"
# Wine's manager loads only fixed names: the virtual scanner goes in as sane.ds, its settings beside it.
cp "$win_dir/lib/korven/windows/twain_32/virtual.ds" "$windows/twain_32/sane.ds"
cp "$win_dir/lib/korven/windows/twain_32/virtual.ini" "$windows/twain_32/sane.ini"
program=$(winepath -w "$root/$win_dir/bin/twain_round_trip.exe")

status=0
echo "test-windows: the Linux build against korven's manager (the reference pages)"
ctest --test-dir "$linux_dir" -R '^windows_round_trip$' --output-on-failure || status=1
reference=$root/$linux_dir/tests/windows/round_trip/pages

echo "test-windows: twain_round_trip.exe against Wine's twain_32.dll"
(cd "$work/pages/wine-manager" &&
   WINEDLLOVERRIDES="$WINEDLLOVERRIDES;sane.ds=n" run_x timeout 300 wine "$program" --out .) || status=1
wineserver -w

echo "test-windows: twain_round_trip.exe against korven's TWAIN_32.DLL"
[ -f "$windows/twain_32.dll" ] && cp "$windows/twain_32.dll" "$windows/twain_32.dll.wine"
cp "$win_dir/lib/korven/windows/TWAIN_32.DLL" "$windows/twain_32.dll"
(cd "$work/pages/korven-manager" &&
   WINEDLLOVERRIDES="$WINEDLLOVERRIDES;sane.ds=n;twain_32=n" run_x timeout 300 wine "$program" --out .) || status=1
wineserver -w
[ -f "$windows/twain_32.dll.wine" ] && mv "$windows/twain_32.dll.wine" "$windows/twain_32.dll"

# The same settings must give the same pages, byte for byte, whichever manager and system delivered them.
for page in "$reference"/*.bmp; do
  name=$(basename "$page")
  for run in wine-manager korven-manager; do
    if ! cmp -s "$page" "$work/pages/$run/$name"; then
      echo "test-windows: FAILED: $run/$name differs from the Linux page (or is missing)" >&2
      status=1
    fi
  done
done
[ -n "$(ls "$reference"/*.bmp 2>/dev/null)" ] || { echo "test-windows: FAILED: no reference pages" >&2; status=1; }
if [ "$status" -eq 0 ]; then echo "test-windows: all Wine runs passed"; fi
exit "$status"
