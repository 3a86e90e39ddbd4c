#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [DIR [extra cmake arguments...]]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
fi
cmake --build "$dir" -j2
