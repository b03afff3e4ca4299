#!/usr/bin/env bash
# Builds the studio's page into web/dist: the compiler as WebAssembly (build-wasm), the
# JavaScript bundles, the player's worklet files and the bundled examples. Safe to run again:
# an unchanged tree rebuilds nothing but the bundles (well under a second).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  bash scripts/deps.sh
fi
# Debian's emscripten needs Debian's Node modules (acorn) for its JavaScript passes.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

(
  cd web
  # Reinstall only when the lock file is newer than what was installed.
  if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
    npm ci --no-audit --no-fund
  fi
)

if [ ! -f build-wasm/build.ninja ]; then
  emcmake cmake -S . -B build-wasm -G Ninja -DORVATE_TESTS=OFF -DORVATE_STATIC=OFF -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build-wasm -j2 --target orvate_wasm

node web/build.mjs
