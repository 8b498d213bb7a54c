#!/usr/bin/env bash
# The memory- and registry-scan benchmark under Wine: builds the program,
# publishes the definition set once (kept in build/bench-system-scans), then
# runs a memory pass over 50 sleeping processes and a registry scan of 20,000
# locations, passes times each (5 by default), printing every pass and the
# medians.
#   bench/system_scans/run.sh [passes]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
passes=${1:-5}
work=$root/build/bench-system-scans
build=$root/build/win64-bench

cmake --preset win64-bench >/dev/null
cmake --build --preset win64-bench -j3 --target bench_system_scans olvex_host_tools >/dev/null
if [[ ! -f $work/defs/qzloc.dat ]]; then
  rm -rf "$work"
  mkdir -p "$work"
  python3 "$root/bench/system_scans/make_system_definitions.py" "$work/defs.txt"
  "$build/host-tools/tools/olvex-publish" --out "$work/defs" "$work/defs.txt" >/dev/null
fi

prefix=$build/wineprefix
"$root/scripts/wine-prefix.sh" "$prefix" --keep-alive
trap '"$root/scripts/wine-prefix.sh" "$prefix" --stop' EXIT
. "$root/scripts/wine-env.sh"
wine_env "$prefix"
wine=/usr/lib/wine/wine64
defs="Z:${work//\//\\}\\defs"

"$wine" "$build/bench/bench_system_scans.exe" "$defs" memory 50 "$passes" | tr -d '\r'
"$wine" "$build/bench/bench_system_scans.exe" "$defs" registry "$passes" | tr -d '\r'
