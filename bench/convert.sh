#!/usr/bin/env bash
# Conversion benchmark: ours against two libvips anchors and a floor, on a
# generated 12000 x 9000 scan (base level 15, four levels).
#   bench/convert.sh [RUNS] [SIZE]     defaults: 3 runs, 12000x9000
# Prints median wall time, CPU time (user + system) and peak resident memory
# of each, and the ratios against ours. Runs alternate so that a busy
# machine hurts every contender alike.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
size=${2:-12000x9000}

scripts/install-deps.sh >/dev/null
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench >/dev/null
orvane=$PWD/build-bench/src/cli/orvane
floor=$PWD/build-bench/bench/convert_floor

work=$(mktemp -d /tmp/orvane-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
echo "generating $size map in $work"
/usr/bin/python3 ../shared/tools/make_map.py --size "$size" --out "$work/map.jpg" >"$work/make_map.txt"

# Image pixels per degree of longitude, from the generator's summary.
ppd=$(sed -n 's/^LonScale \([0-9.]*\) px\/deg.*/\1/p' "$work/make_map.txt")
p15=$(/usr/bin/python3 -c 'print(256 * 2**14 / 360)')

# Ours, once, to learn the number of tiles for the floor.
"$orvane" convert --quiet --levels 4 "$work/map.map" "$work/ours/map.qvm" >"$work/ours.txt"
tiles=$(sed -n 's/.*; \([0-9]*\) tiles written.*/\1/p' "$work/ours.txt")
echo "ours writes $tiles tiles ($(cat "$work/ours.txt" | head -1))"

run_ours() {
  rm -rf "$work/ours"
  "$orvane" convert --quiet --levels 4 "$work/map.map" "$work/ours/map.qvm" >/dev/null
}
run_vips_same() {
  rm -rf "$work/vs" && mkdir -p "$work/vs"
  vips copy "$work/map.jpg" "$work/vs/src.v"
  local q=(30 44 55 64)
  for k in 0 1 2 3; do
    local s
    s=$(/usr/bin/python3 -c "print($ppd / $p15 * 2**$k)")
    vips reduce "$work/vs/src.v" "$work/vs/L$k.dz[container=fs,layout=google,tile_size=256,overlap=0,depth=one,suffix=.jpg[Q=${q[$k]}]]" "$s" "$s" --kernel lanczos3
  done
}
run_vips_dzsave() {
  rm -rf "$work/dz"*
  vips dzsave "$work/map.jpg" "$work/dz" --layout google --tile-size 256 --overlap 0 --suffix ".jpg[Q=30]"
}
run_floor() {
  "$floor" "$work/map.jpg" "$tiles" >/dev/null
}

measure() {  # name function -> appends "wall cpu maxrss_kb" to $work/name.times
  local name=$1 fn=$2
  /usr/bin/time -f "%e %U %S %M" -o "$work/$name.one" bash -c "$(declare -f "$fn"); work=$work; orvane=$orvane; floor=$floor; ppd=$ppd; p15=$p15; tiles=$tiles; $fn"
  awk '{printf "%s %.2f %d\n", $1, $2 + $3, $4}' "$work/$name.one" >>"$work/$name.times"
}

names=(ours vips_same vips_dzsave floor)
for ((r = 1; r <= runs; r++)); do
  for n in "${names[@]}"; do measure "$n" "run_$n"; done
  echo "run $r of $runs done"
done

median() {  # column file
  sort -n -k"$1" "$2" | awk -v c="$1" '{v[NR] = $c} END {print v[int((NR + 1) / 2)]}'
}
ours_wall=$(median 1 "$work/ours.times")
printf "\n%-12s %9s %9s %10s %12s\n" contender "wall s" "cpu s" "peak MB" "wall/ours"
for n in "${names[@]}"; do
  w=$(median 1 "$work/$n.times"); c=$(median 2 "$work/$n.times"); m=$(median 3 "$work/$n.times")
  printf "%-12s %9.2f %9.2f %10.0f %12.2f\n" "$n" "$w" "$c" "$(echo "$m / 1024" | bc -l)" "$(echo "$w / $ours_wall" | bc -l)"
done
echo
echo "ours / vips same-work: $(echo "$ours_wall / $(median 1 "$work/vips_same.times")" | bc -l | cut -c1-5)  (must be <= 1.0)"
echo "ours / vips dzsave:    $(echo "$ours_wall / $(median 1 "$work/vips_dzsave.times")" | bc -l | cut -c1-5)  (goal <= 1.0)"
