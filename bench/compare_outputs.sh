#!/usr/bin/env bash
# Compares two orvatek programs byte for byte: module, event log, console output and exit code of
# every score of the examples, the fuzzing corpus and regressions, the end-to-end cases and the
# generated benchmark scores; the small scores also with their score map and warnings.
#   bash bench/compare_outputs.sh OLD_ORVATEK NEW_ORVATEK [BENCH_SCORE_DIR]
# BENCH_SCORE_DIR holds the scores written by `orvate_bench gen DIR` (optional).
# Exit code 0 when every output is the same.
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  echo "usage: bash bench/compare_outputs.sh OLD_ORVATEK NEW_ORVATEK [BENCH_SCORE_DIR]" >&2
  exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
benchdir=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

small=()
for f in examples/*.mml fuzz/corpus/* fuzz/regressions/* tests/e2e/cases/*/score.mml; do
  [ -f "$f" ] && small+=("$(realpath "$f")")
done
large=()
if [ -n "$benchdir" ]; then
  for f in "$benchdir"/*.mml; do large+=("$(realpath "$f")"); done
fi

# Runs one program on one score in an empty directory; every file it leaves there is kept.
run() {
  local exe=$1 dir=$2 score=$3
  shift 3
  rm -rf "$dir" && mkdir -p "$dir"
  (cd "$dir" && timeout 60 "$exe" "$score" out.xm "$@" >stdout.txt 2>stderr.txt; echo $? >status.txt)
}

same=0
differ=0
check() {
  local score=$1
  shift
  run "$old" "$work/old" "$score" "$@"
  run "$new" "$work/new" "$score" "$@"
  if diff -r "$work/old" "$work/new" >/dev/null; then
    same=$((same + 1))
  else
    differ=$((differ + 1))
    echo "DIFFERENT: $score $*"
    diff -rq "$work/old" "$work/new" | head -5
  fi
}

for s in "${small[@]}"; do
  check "$s" -log
  check "$s" -map -warn
done
for s in "${large[@]}"; do check "$s" -log; done

echo "compared: $((same + differ)) runs of ${#small[@]} small and ${#large[@]} benchmark scores; same: $same, different: $differ"
[ "$differ" = 0 ]
