#!/usr/bin/env bash
# Builds the release program and the benchmark in build-bench, then times orvatek on the
# generated scores against the input/output floor (docs/performance.md explains the figures).
#   bash scripts/bench.sh            the figures and the targets (RUNS=n for more runs, default 7)
#   bash scripts/bench.sh --check    also: linear cost (callgrind), allocations, one write (strace)
#   bash scripts/bench.sh --profile  also: the callgrind top functions of the dense score
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
profile=0
for arg in "$@"; do
  case "$arg" in
    --check) check=1 ;;
    --profile) profile=1 ;;
    *) echo "usage: bash scripts/bench.sh [--check] [--profile]" >&2; exit 2 ;;
  esac
done

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVATE_BENCH=ON -DORVATE_PLAYER_TESTS=OFF >/dev/null
ninja -C build-bench orvatek orvate_bench orvate_iofloor orvate_launch >/dev/null

work=build-bench/bench/work
mkdir -p "$work"
echo "CPU: $(nproc) online; $(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -1)"
build-bench/bench/orvate_bench run --orvatek build-bench/orvatek --work "$work" --runs "${RUNS:-7}"

if [ "$check" = 1 ]; then
  echo
  build-bench/bench/orvate_bench check --orvatek build-bench/orvatek --work "$work/check"
fi

if [ "$profile" = 1 ]; then
  echo
  build-bench/bench/orvate_bench gen "$work/scores" >/dev/null
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.dense" \
    build-bench/orvatek "$work/scores/dense.mml" "$work/scores/dense.xm" >/dev/null 2>"$work/valgrind.txt"
  echo "callgrind, dense score, functions by own instructions:"
  callgrind_annotate "$work/callgrind.dense" 2>/dev/null | sed -n '/PROGRAM TOTALS/,$p' | sed -n '1p;5,20p' |
    sed -E 's/\(std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >/(string/g; s/ \[[^]]*\]$//' |
    cut -c1-150
fi
