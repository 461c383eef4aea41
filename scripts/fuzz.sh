#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang-14, build-fuzz/)
# and runs them.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]   # fuzz each target SECONDS (default 60)
#   scripts/fuzz.sh --regress [TARGET...]   # run every committed corpus file once
#                                           # through every target; fails on a finding
#
# A run works in build-fuzz/work/<target>/: corpus/ starts as a copy of
# fuzz/corpus/<target>/ and keeps what libFuzzer adds (never committed),
# artifacts/ receives crash-, leak-, timeout- and oom- files, log is the
# fuzzer's output. A table of seconds, executions and findings follows the
# runs; the exit status is 1 when any target found something.
# A finding worth keeping goes into fuzz/corpus/<target>/regress-<what>.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(package calibration plan image maps_ini nmea text geotiff)

mode=fuzz
seconds=60
if [ "${1:-}" = --regress ]; then
  mode=regress
  shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=("${all_targets[@]}"); fi
for t in "${targets[@]}"; do
  if [[ ! " ${all_targets[*]} " =~ " $t " ]]; then
    echo "fuzz.sh: unknown target '$t' (targets: ${all_targets[*]})" >&2
    exit 2
  fi
done

scripts/install-deps.sh
echo "== configure build-fuzz"
cmake --preset fuzz >/dev/null
echo "== build build-fuzz"
cmake --build build-fuzz -j "$(nproc)" --target $(printf '%s_fuzz ' "${targets[@]}")

# Leaks are findings; undefined behaviour already stops the process (the
# build uses -fno-sanitize-recover=undefined).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
if [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi

# The same limits in both modes: an input that runs 10 s is a hang, one
# allocation above 512 MB is unbounded (the largest legitimate one is a
# 4-megapixel image or a 64 MB tile).
limits=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512)

if [ $mode = regress ]; then
  corpora=()
  for t in "${all_targets[@]}"; do corpora+=("fuzz/corpus/$t"); done
  failed=()
  for t in "${targets[@]}"; do
    log=build-fuzz/work/regress-$t.log
    mkdir -p build-fuzz/work
    if build-fuzz/fuzz/${t}_fuzz "${limits[@]}" -runs=0 "${corpora[@]}" >"$log" 2>&1; then
      printf '%-12s ok   (%s)\n' "$t" "$(grep -o 'Done [0-9]* runs' "$log" | tail -1)"
    else
      printf '%-12s FAIL (see %s)\n' "$t" "$log"
      grep -E 'ERROR|SUMMARY|runtime error' "$log" | head -5 || true
      failed+=("$t")
    fi
  done
  if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz regression pass failed: ${failed[*]}"
    exit 1
  fi
  echo "fuzz regression pass: every corpus file ran cleanly through ${#targets[@]} targets"
  exit 0
fi

declare -A executions findings elapsed
for t in "${targets[@]}"; do
  work=build-fuzz/work/$t
  mkdir -p "$work/corpus" "$work/artifacts"
  cp -r fuzz/corpus/$t/. "$work/corpus/"
  # Artifacts of earlier runs stay, but only this run's count as its findings.
  marker=$(mktemp)
  echo "== fuzz $t for ${seconds}s"
  start=$(date +%s)
  build-fuzz/fuzz/${t}_fuzz "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1 || true
  elapsed[$t]=$(($(date +%s) - start))
  executions[$t]=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' | tail -1 || true)
  findings[$t]=$(find "$work/artifacts" -newer "$marker" -type f \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort | tr '\n' ' ')
  rm -f "$marker"
  # A crash stops libFuzzer before its final statistics.
  if [ -z "${executions[$t]}" ]; then executions[$t]=$(grep -o '^#[0-9]*' "$work/log" | tail -1 | tr -d '#'); fi
done

status=0
echo
printf '%-12s %8s %12s  %s\n' target seconds executions findings
for t in "${targets[@]}"; do
  f=${findings[$t]:-}
  if [ -n "$f" ]; then status=1; else f=none; fi
  printf '%-12s %8s %12s  %s\n' "$t" "${elapsed[$t]}" "${executions[$t]:-?}" "$f"
done
exit $status
