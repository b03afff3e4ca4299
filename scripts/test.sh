#!/usr/bin/env bash
# Builds everything and runs every test: the normal build with the studio's server, the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, a short fuzzing run, and the
# studio's page in a real headless Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVATE_TESTS=ON -DORVATE_PLAYER_TESTS=ON \
  -DORVATE_STUDIO=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVATE_SANITIZE=ON -DORVATE_TESTS=ON \
  -DORVATE_PLAYER_TESTS=ON -DORVATE_STUDIO=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# A short fuzzing run of the compiler and the driver (sanitizers on); any finding fails.
bash scripts/fuzz.sh 60

# The studio's page in headless Chromium, compared with the native compiler and served by the
# server built above.
ORVATEK="$(pwd)/build/orvatek" ORVATEK_STUDIO="$(pwd)/build/studio/orvatek-studio" bash scripts/web-test.sh
