#!/usr/bin/env bash
# Builds what is missing (packages, the page, the server) and starts the studio:
#   bash scripts/studio.sh [--port N] [SCORE.mml]
# The arguments go to orvatek-studio as they are; a relative score is taken from the
# directory this was called from.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"

# Build output goes to stderr: the first line on stdout stays the server's address.
{
  bash "$repo/scripts/deps.sh"
  # The page: web/dist. Its script rebuilds only what changed.
  if [ -f "$repo/scripts/web-build.sh" ]; then
    bash "$repo/scripts/web-build.sh"
  else
    echo "studio.sh: scripts/web-build.sh is missing; serving web/dist as it is"
  fi
  # A build directory of its own, so that it does not fight a test build.
  if [ ! -f "$repo/build-studio-run/build.ninja" ]; then
    cmake -S "$repo" -B "$repo/build-studio-run" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DORVATE_STUDIO=ON -DORVATE_TESTS=OFF
  fi
  cmake --build "$repo/build-studio-run" -j2 --target orvatek-studio
} >&2

exec "$repo/build-studio-run/studio/orvatek-studio" "$@"
