#!/usr/bin/env bash
# Builds the compiler and compiles the bundled example score examples/demo.mml into
# out/demo.xm, with its event log out/demo.log.
#   BUILD_DIR   build directory (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}

# Missing packages only; on a system without dpkg the tools must already be there.
if command -v dpkg-query >/dev/null; then
  bash scripts/deps.sh
fi

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build_dir" -j "$(nproc)" --target orvatek

# The instruments are committed beside the scores; rebuild them only if one is gone.
for xi in lead pad bass drums; do
  if [ ! -f "examples/$xi.xi" ]; then
    cmake --build "$build_dir" -j "$(nproc)" --target xigen
    "$build_dir/tools/xigen" examples
    break
  fi
done

mkdir -p out
rm -f out/demo.xm
# The console speaks cp932 with CR LF line ends; shown here as UTF-8.
console=$("$build_dir/orvatek" examples/demo.mml out/demo.xm -log | iconv -f CP932 -t UTF-8 | tr -d '\r')
printf '%s\n' "$console"
if [ ! -f out/demo.xm ] || ! grep -q 'コンパイル成功\.' <<<"$console"; then
  echo "run-example: the example did not compile" >&2
  exit 1
fi
echo "out/demo.xm: $(wc -c <out/demo.xm) bytes"
