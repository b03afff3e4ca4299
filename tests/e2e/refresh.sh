#!/usr/bin/env bash
# Rewrites the recorded outputs (stdout, exit, expect/) of the named cases from a run of the
# built program. Review the diff before committing: the recordings are the contract.
# usage: tests/e2e/refresh.sh BUILD_DIR CASE...
set -euo pipefail
build=$(cd "$1" && pwd); shift
here=$(cd "$(dirname "$0")" && pwd)
for name in "$@"; do
  dir="$here/cases/$name"
  work=$(mktemp -d)
  for f in "$dir"/*; do
    case "$(basename "$f")" in args|stdout|stderr|exit|expect|absent) ;; *) cp -r "$f" "$work/" ;; esac
  done
  before=$(cd "$work" && find . -type f | sort)
  args=(score.mml)
  if [ -f "$dir/args" ]; then mapfile -t args < <(grep -v '^$' "$dir/args" || true); fi
  set +e
  (cd "$work" && LANG=C "$build/orvatek" "${args[@]}") > "$dir/stdout" 2> "$dir/stderr"
  code=$?
  set -e
  [ -s "$dir/stderr" ] || rm -f "$dir/stderr"
  if [ "$code" -ne 0 ]; then echo "$code" > "$dir/exit"; else rm -f "$dir/exit"; fi
  rm -rf "$dir/expect"
  after=$(cd "$work" && find . -type f | sort)
  for f in $(comm -13 <(echo "$before") <(echo "$after")); do
    mkdir -p "$dir/expect"
    cp "$work/$f" "$dir/expect/"
  done
  rm -rf "$work"
  echo "$name: exit $code, $(ls "$dir/expect" 2>/dev/null | tr '\n' ' ')"
done
