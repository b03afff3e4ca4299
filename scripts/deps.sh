#!/usr/bin/env bash
# Installs what the build and the tests need, when it is missing (Debian, as root).
set -euo pipefail
missing() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || echo "$pkg"
  done
}
need=($(missing cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev clang \
  libclang-rt-14-dev libopenmpt-dev libxmp-dev libcpp-httplib-dev nlohmann-json3-dev curl))
# The studio: WebAssembly compiler, a browser for its tests, a font for Japanese text.
# Their recommends pull in well over a hundred unrelated packages.
lean=($(missing emscripten chromium fonts-ipafont-gothic))
if [ ${#need[@]} -gt 0 ] || [ ${#lean[@]} -gt 0 ]; then
  echo "installing: ${need[*]} ${lean[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  [ ${#need[@]} -eq 0 ] || apt-get install -y -qq "${need[@]}" >/dev/null
  [ ${#lean[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${lean[@]}" >/dev/null
fi
