#!/usr/bin/env bash
# Cross-builds the Windows tree (32-bit, MinGW-w64): scripts/build-windows.sh [DIR [extra cmake arguments...]]
# DIR defaults to build-windows. Needs Debian's g++-mingw-w64-i686 (scripts/deps.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-windows}
shift || true
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw32.cmake" "$@" >/dev/null
fi
cmake --build "$dir" -j2
