#!/usr/bin/env bash
# Installs what is needed, builds and runs every test: first the normal
# build, then the AddressSanitizer + UndefinedBehaviorSanitizer build, then
# the fuzz build (clang, build-fuzz/) running every corpus file once.
#   ORVANE_TEST_SANITIZE=0 scripts/test.sh   # skip the sanitizer build
#   ORVANE_TEST_FUZZ=0 scripts/test.sh       # skip the fuzz regression pass
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)

run_build() {
  local dir=$1; shift
  echo "== configure $dir"
  cmake -S . -B "$dir" -G Ninja -DORVANE_WERROR=ON "$@"
  echo "== build $dir"
  cmake --build "$dir" -j "$jobs"
  echo "== test $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ "${ORVANE_TEST_SANITIZE:-1}" != 0 ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  run_build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON
fi

if [ "${ORVANE_TEST_FUZZ:-1}" != 0 ]; then
  echo "== fuzz regression pass (build-fuzz)"
  scripts/fuzz.sh --regress
fi
