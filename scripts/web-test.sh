#!/usr/bin/env bash
# Builds the page and the native compiler it is compared with, then runs the browser tests
# (headless Chromium). Exits non-zero on any failure; the last lines are node's test summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/web-build.sh

# The native compiler to compare with: ORVATEK when given (the test command's own build),
# otherwise one built here.
if [ -z "${ORVATEK:-}" ]; then
  if [ ! -f build-web-native/build.ninja ]; then
    cmake -S . -B build-web-native -G Ninja -DORVATE_TESTS=OFF
  fi
  cmake --build build-web-native -j2 --target orvatek
fi

cd web
# One test file at a time: each drives its own browser, and timings are measured on 2 cores.
node --test --test-concurrency=1 --test-timeout=180000 tests/
