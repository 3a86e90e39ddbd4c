#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is needed (apt-get install clang libclang-rt-14-dev)" >&2; exit 2; }
scripts/build.sh build
out=build/fuzz
mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Ivcl/include -Iplatform/include)
clang++ "${flags[@]}" fuzz/fuzz_bmp.cpp vcl/src/bmp_codec.cpp vcl/src/graphics_store.cpp -o "$out/fuzz_bmp"
clang++ "${flags[@]}" fuzz/fuzz_form_reader.cpp vcl/src/{sysutils,format,typinfo,classes,lists,streams}.cpp \
  vcl/src/streaming_*.cpp -Lbuild/lib -lkorven-platform -Wl,-rpath,"$(pwd)/build/lib" -o "$out/fuzz_form_reader"
for t in fuzz_bmp fuzz_form_reader; do
  mkdir -p "$out/corpus-$t"
  "$out/$t" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 "$out/corpus-$t"
done
