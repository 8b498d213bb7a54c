#!/usr/bin/env bash
# Replays each fuzz target's checked-in corpus, then fuzzes it briefly.
#   fuzz.sh [seconds per target]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-30}
bin="$root/build/fuzz/fuzz"
shopt -s nullglob
targets=("$bin"/fuzz_*)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets built"
  exit 0
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  echo "-- $name: replay $(ls "$corpus" 2>/dev/null | wc -l) seeds, then ${seconds}s"
  "$target" -runs=0 "$corpus" >/dev/null 2>"$work/replay.log" || { cat "$work/replay.log"; exit 1; }
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
    -artifact_prefix="$work/" "$work" "$corpus" >/dev/null 2>"$work/fuzz.log" || {
      tail -40 "$work/fuzz.log"; echo "crash input kept in $work"; exit 1; }
  rm -rf "$work"
done
