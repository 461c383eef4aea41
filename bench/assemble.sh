#!/usr/bin/env bash
# Assembly benchmark: two synthetic packages of N small tiles each, half of
# them shared, assembled by `orvane assemble`.
#   bench/assemble.sh [N]     default 100000 tiles per package
# Prints the wall time and the peak resident memory of the assembling
# process, and the size of its index for comparison (the goal: peak below
# 100 MB plus the index).
set -euo pipefail
cd "$(dirname "$0")/.."
tiles=${1:-100000}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target orvane assemble_bench >/dev/null
orvane=$PWD/build-bench/src/cli/orvane
bench=$PWD/build-bench/bench/assemble_bench

work=$(mktemp -d /tmp/orvane-assemble-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$bench" make "$work" "$tiles"

/usr/bin/time -f "%e %M" -o "$work/time.txt" "$orvane" assemble "$work/out/merged.qvm" "$work/a.qvm" "$work/b.qvo"
read -r wall peak_kb <"$work/time.txt"
echo "wall time: $wall s"
echo "peak resident memory: $((peak_kb / 1024)) MB"
echo "In-process run (index estimate):"
rm -rf "$work/out"
"$bench" run "$work" "$tiles" | tail -2
