#!/usr/bin/env bash
# Scans from the main program against the engine's own scans: builds
# bench_scan_dialog (the win64 preset, with the program and the test support
# it drives), makes the folder-scan benchmark's tree once (20,000 files, 1% of
# them pests; kept in build/win64/bench-scan-dialog) with two definition
# sets, one that knows the pests and one that knows none of them, and runs it
# on a display and in a Wine prefix of its own. It prints each round's Custom
# and Standard Scan, from the window and from the engine, then the mins,
# medians and their ratios. The load average comes first and last.
#   bench/scan_dialog/run.sh [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/win64
work=$build/bench-scan-dialog
export OLVEX_BENCH_ROUNDS=${1:-5}
export OLVEX_BENCH_WORK=$work

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j3 --target bench_scan_dialog olvex_host_tools >/dev/null
if [[ ! -f $work/defs-none/qzfile.dat ]]; then
  rm -rf "$work"
  mkdir -p "$work"
  python3 "$root/bench/folder_scan/make_scan_tree.py" "$work"
  # The same signatures but the pests' own (ids 100-119).
  grep -Ev '^signature 1[01][0-9] ' "$work/defs.txt" >"$work/defs-none.txt"
  "$build/host-tools/tools/olvex-publish" --out "$work/defs-found" "$work/defs.txt" >/dev/null
  "$build/host-tools/tools/olvex-publish" --out "$work/defs-none" "$work/defs-none.txt" >/dev/null
fi
echo "load average before: $(uptime)"
"$root/scripts/gui-run.sh" --prepare-template "$build/gui-template"
"$root/scripts/gui-run.sh" --template "$build/gui-template" \
  --prefix "$build/gui-prefixes/bench_scan_dialog" \
  --screenshots "$build/screenshots/bench_scan_dialog" --timeout 7200 \
  -- "$build/client/main/bench_scan_dialog.exe"
echo "load average after: $(uptime)"
