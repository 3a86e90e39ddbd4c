# Sourced by the benchmark scripts: finds korven-scan and the Windows directory (TWAIN_32.DLL and
# twain_32/) in a build tree or an install prefix. Sets prog and windows; exits 2 naming what is
# missing, with the calling script's name ($1) in the message.
korven_find_build() {
  local name=$1 root=$2
  prog=$root/bin/korven-scan
  windows=""
  for w in "$root/lib/korven/windows" "$root"/lib/*/korven/windows; do
    [ -f "$w/TWAIN_32.DLL" ] && windows=$w && break
  done
  [ -x "$prog" ] || { echo "$name: no program at $prog" >&2; exit 2; }
  [ -n "$windows" ] || { echo "$name: no Windows directory with TWAIN_32.DLL under $root/lib" >&2; exit 2; }
}
