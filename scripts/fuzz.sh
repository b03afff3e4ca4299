#!/usr/bin/env bash
# Builds the fuzz targets into build-fuzz and fuzzes for SECONDS in all (two thirds for the
# compiler, one third for the command-line driver), over a copy of the committed corpus.
# Exits non-zero when a run finds a crash, a sanitizer report, a leak, a timeout or an
# out-of-memory; the input is then in build-fuzz/artifacts/.
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS}
root=$(pwd)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVATE_FUZZ=ON \
  -DORVATE_TESTS=OFF -DORVATE_PLAYER_TESTS=OFF >/dev/null
cmake --build build-fuzz --target compile_fuzzer driver_fuzzer

work=fuzz/corpus-work
artifacts=build-fuzz/artifacts
rm -rf "$work"
mkdir -p "$work/compile" "$work/driver" "$artifacts"
cp fuzz/corpus/* fuzz/regressions/* "$work/compile/"
# Driver inputs: the score, then the arguments, each after a zero byte.
for seed in fuzz/corpus/*; do
  { cat "$seed"; printf '\0s.mml\0-log'; } >"$work/driver/$(basename "$seed")"
done
printf '#setorder 0 c\0-log\0s.mml\0o.old.xm' >"$work/driver/args-out"
printf 'x\0/log\0 s.mml \0\0three' >"$work/driver/args-blank"
printf '#setorder 0\0s.mml\0-LOG' >"$work/driver/args-bad-option"
printf '#setorder 0\0missing.mml' >"$work/driver/args-missing"
printf '#setorder 0 #speed 40 $m{ c8 } $m #copy 0\0s.mml\0-map\0/warn' >"$work/driver/args-map-warn"
printf '#setorder 0 \x83\x5c x\0-utf8\0s.mml\0-log' >"$work/driver/args-utf8"

common=(-dict=fuzz/mml.dict -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$root/$artifacts/")
compile_time=$(( seconds * 2 / 3 > 0 ? seconds * 2 / 3 : 1 ))
driver_time=$(( seconds - compile_time > 0 ? seconds - compile_time : 1 ))

# Each run's full output goes to its log; the summary (or, on a finding, the report) is shown.
run() {
  local target=$1 time=$2 corpus=$3 log=build-fuzz/$1.log rc=0
  build-fuzz/fuzz/"$target" "${common[@]}" -max_total_time="$time" "$corpus" >"$log" 2>&1 || rc=$?
  if [ "$rc" -eq 0 ]; then
    echo "$target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)"
  else
    tail -n 60 "$log" >&2
    echo "fuzz: $target found a problem (exit $rc); the input is in $artifacts/, the output in $log" >&2
  fi
  return "$rc"
}
run compile_fuzzer "$compile_time" "$work/compile"
run driver_fuzzer "$driver_time" "$work/driver"
