#!/usr/bin/env bash
# Sets up a fresh machine, builds korven and scans one page with the virtual scanner.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
if [ -x build/bin/korven-scan ]; then
  build/bin/korven-scan -d "Virtual Scanner" --resolution 150 --pixel-type rgb -o scan.png
  echo "korven: the scanned page is $(pwd)/scan.png"
else
  echo "korven: built into $(pwd)/build"
fi
