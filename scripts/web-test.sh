#!/usr/bin/env bash
# Builds the page, the native compiler it is compared with and the studio's server, then runs
# the browser tests (headless Chromium). Exits non-zero on any failure; the last lines are
# node's test summary.
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

# The studio's server, for the page on a score file on disk: ORVATEK_STUDIO when given,
# otherwise one built here.
if [ -z "${ORVATEK_STUDIO:-}" ]; then
  if [ ! -f build-web-studio/build.ninja ]; then
    cmake -S . -B build-web-studio -G Ninja -DORVATE_STUDIO=ON -DORVATE_TESTS=OFF
  fi
  cmake --build build-web-studio -j2 --target orvatek-studio
fi

cd web
# One test file at a time: each drives its own browser, and timings are measured on 2 cores.
node --test --test-concurrency=1 --test-timeout=180000 tests/
