#!/usr/bin/env bash
# Region compile benchmark: `orvane compile` of a square region of N x N
# tiles from a tile server on 127.0.0.1 (bench/tile_server, one 256 x 256
# PNG for every address), first downloading every tile into an empty cache,
# then again offline from the cache.
#   bench/compile.sh [N...]     default: 32 64 (1024 and 4096 tiles)
# Prints per run the tiles, the wall time, tiles per second and the peak
# resident memory of the compiling process. Images are dropped after
# download, so the peak should not grow with the region.
set -euo pipefail
cd "$(dirname "$0")/.."
sides=("$@")
[ ${#sides[@]} -gt 0 ] || sides=(32 64)

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target orvane tile_server >/dev/null
orvane=$PWD/build-bench/src/cli/orvane
server=$PWD/build-bench/bench/tile_server

work=$(mktemp -d /tmp/orvane-compile-bench-XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$server" >"$work/server.txt" &
server_pid=$!
for _ in $(seq 50); do [ -s "$work/server.txt" ] && break; sleep 0.1; done
read -r port tile_bytes <"$work/server.txt"
echo "tile server on 127.0.0.1:$port, $tile_bytes bytes per tile"
printf '[Bench Mapnik]\nName=Bench Mapnik\nMT=21\nCachePath=OS\\SUR\\\nURL=127.0.0.1:%s/osm/\n' "$port" >"$work/maps.ini"
export ORVANE_MAPS_INI=$work/maps.ini

# Centre of tile (c, r) at level 13 in degrees.
lon() { /usr/bin/python3 -c "print(($1 * 256 + 128) / 2**20 * 360 - 180)"; }
lat() { /usr/bin/python3 -c "import math; print(math.degrees(math.atan(math.sinh(math.pi * (1 - ($1 * 256 + 128) / 2**20 * 2)))))"; }

printf '%-10s %-9s %8s %10s %12s\n' run tiles "wall s" "tiles/s" "peak MB"
for n in "${sides[@]}"; do
  c0=2400 r0=1200 c1=$((2400 + n - 1)) r1=$((1200 + n - 1))
  plan=$work/region$n.mapp
  "$orvane" plan add "$plan" --top "$(lat $r0)" --left "$(lon $c0)" --bottom "$(lat $r1)" --right "$(lon $c1)" \
    --level 13 --map-type 21 >/dev/null
  for mode in online offline; do
    opts=(--quiet --cache "$work/Cache$n")
    [ "$mode" = offline ] && opts+=(--offline)
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$orvane" compile "${opts[@]}" "$plan" "$work/out$n-$mode" \
      >"$work/out.txt"
    read -r wall peak_kb <"$work/time.txt"
    tiles=$(sed -n 's/^Map of \([0-9]*\) tiles ready\.$/\1/p' "$work/out.txt")
    rate=$(echo "scale=0; $tiles / $wall" | bc 2>/dev/null || echo "-")
    printf '%-10s %-9s %8s %10s %12s\n' "$mode" "$tiles" "$wall" "$rate" "$((peak_kb / 1024))"
  done
  cmp -s "$work/out$n-online.qvo" "$work/out$n-offline.qvo" || echo "warning: online and offline packages differ"
done
