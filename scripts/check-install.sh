#!/usr/bin/env bash
# Installs a build tree into an empty prefix and runs what was installed from another directory:
# orvatek on a copy of an example, and, when the studio was built, orvatek-studio serving its page.
#   bash scripts/check-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: scripts/check-install.sh BUILD_DIR}" && pwd)
prefix=$(mktemp -d)
work=$(mktemp -d)
studio_pid=
cleanup() {
  [ -n "$studio_pid" ] && kill "$studio_pid" 2>/dev/null || true
  rm -rf "$prefix" "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
cd /

# The compiler, from the root directory, on an example copied elsewhere with its instruments.
cp "$prefix/share/doc/orvate/examples/"* "$work/"
"$prefix/bin/orvatek" "$work/basics.mml" > "$work/out.txt"
grep -q $'\x83\x52\x83\x93\x83\x70\x83\x43\x83\x8b\x90\xac\x8c\xf7' "$work/out.txt" || { echo "orvatek did not compile"; exit 1; }
head -c 17 "$work/basics.xm" | grep -q "Extended Module: " || { echo "no module written"; exit 1; }
[ -f "$prefix/share/doc/orvate/reference.md" ] || { echo "documentation not installed"; exit 1; }
echo "installed orvatek compiled basics.mml"

if [ -x "$build/studio/orvatek-studio" ]; then
  [ -x "$prefix/bin/orvatek-studio" ] || { echo "orvatek-studio not installed"; exit 1; }
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$prefix/bin/orvatek-studio" --port "$port" "$work/basics.mml" > "$work/studio.txt" 2>&1 &
  studio_pid=$!
  for _ in $(seq 50); do [ -s "$work/studio.txt" ] && break; sleep 0.1; done
  url=$(head -1 "$work/studio.txt")
  case "$url" in "http://127.0.0.1:$port/?token="*) ;; *) echo "unexpected first line: $url"; exit 1 ;; esac
  # The installed page, not the one of the build tree.
  [ -f "$prefix/share/orvate/studio/index.html" ] || { echo "the page was not installed"; exit 1; }
  grep -qx "page: $prefix/share/orvate/studio" "$work/studio.txt" ||
    { echo "orvatek-studio serves another page:"; cat "$work/studio.txt"; exit 1; }
  for path in / /orvate.wasm; do
    code=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port$path")
    [ "$code" = 200 ] || { echo "GET $path answered $code"; exit 1; }
  done
  token=${url##*token=}
  curl -s -H "X-Orvate-Token: $token" "http://127.0.0.1:$port/api/score" | grep -q '"name":"basics.mml"' ||
    { echo "the score was not served"; exit 1; }
  kill -INT "$studio_pid"
  wait "$studio_pid" || { echo "orvatek-studio did not stop cleanly"; exit 1; }
  studio_pid=
  echo "installed orvatek-studio served its page and the score, and stopped on Ctrl-C"
fi
