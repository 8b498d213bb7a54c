#!/usr/bin/env bash
# The Log dialog opening a large activity log: builds bench_log_dialog (the
# win64 preset, with the program and the test support it drives) and runs it
# on a display and in a Wine prefix of its own, as the GUI tests run. It
# prints each round's time to open the dialog on the log and to sort it by
# Pest Name, then the medians.
#   bench/log_dialog/run.sh [megabytes] [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/win64
export OLVEX_BENCH_LOG_MB=${1:-20}
export OLVEX_BENCH_ROUNDS=${2:-3}

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j3 --target bench_log_dialog >/dev/null
"$root/scripts/gui-run.sh" --prepare-template "$build/gui-template"
"$root/scripts/gui-run.sh" --template "$build/gui-template" \
  --prefix "$build/gui-prefixes/bench_log_dialog" \
  --screenshots "$build/screenshots/bench_log_dialog" --timeout 3000 \
  -- "$build/client/main/bench_log_dialog.exe"
