#!/usr/bin/env bash
# The demo score compiled by the WebAssembly build of the compiler, timed under Node: builds
# bench/wasm_bench.cpp with every source of src/ except the command-line program in
# build-perf-wasm (em++, -O2) and prints the median of 50 CompileScore calls (target: under 2 ms).
#   bash scripts/bench-wasm.sh
set -euo pipefail
cd "$(dirname "$0")/.."
command -v em++ >/dev/null || { echo "em++ not found (bash scripts/deps.sh installs emscripten)" >&2; exit 1; }
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

out=build-perf-wasm
mkdir -p "$out"
mapfile -t sources < <(ls src/*/*.cpp | grep -v '^src/app/main.cpp$')
# Rebuilt only when a source is newer than the program.
if [ ! -f "$out/wasm_bench.js" ] || [ -n "$(find src bench/wasm_bench.cpp -newer "$out/wasm_bench.js" -name '*.[ch]*' | head -1)" ]; then
  em++ -std=c++20 -O2 -DNDEBUG -Isrc -sALLOW_MEMORY_GROWTH=1 -sNODERAWFS=1 -sENVIRONMENT=node \
    bench/wasm_bench.cpp "${sources[@]}" -o "$out/wasm_bench.js"
fi
# Node 20 has fetch, which this emscripten would use to load the .wasm file.
node --no-experimental-fetch "$out/wasm_bench.js" "$(pwd)/examples"
