#!/usr/bin/env bash
# The main job on the bundled sample: converts examples/sample.map (a
# 1600 x 1200 scan at 7000 pixels per degree, base level 14) into a package
# and prints the package's header and tiles.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

out=$(mktemp -d /tmp/orvane-demo-XXXXXX)
echo
echo "== orvane convert --levels 3 --no-ignore-border examples/sample.map $out/sample.qvm"
build/src/cli/orvane convert --levels 3 --no-ignore-border examples/sample.map "$out/sample.qvm"
echo
echo "== orvane info $out/sample.qvm"
build/src/cli/orvane info "$out/sample.qvm"
echo
ls -l "$out"
echo "The package is in $out"
