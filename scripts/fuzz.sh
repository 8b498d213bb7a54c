#!/usr/bin/env bash
# Replays each fuzz target's checked-in corpus, then fuzzes it briefly, as
# many targets at once as there are cores. Any sanitizer report fails the
# run, whether or not the target stopped at it.
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

# The builds stop at the first report already; these make sure nothing in
# the run's environment asks otherwise.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}halt_on_error=1:print_stacktrace=1

# A sanitizer's or libFuzzer's own report in a log.
reported() {
  grep -Eq 'runtime error:|ERROR: (Address|Leak|UndefinedBehavior|Memory|Thread)Sanitizer|SUMMARY: [A-Za-z]*Sanitizer|ERROR: libFuzzer' "$1"
}

# One target: replay its seeds, then fuzz; on failure print why and keep the
# crashing input.
fuzz_one() {
  local target=$1 name corpus work rate
  name=$(basename "$target")
  corpus="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  if ! "$target" -runs=0 "$corpus" >/dev/null 2>"$work/replay.log" || reported "$work/replay.log"; then
    echo "-- $name: seed replay failed"; cat "$work/replay.log"; return 1
  fi
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$work/" "$work" "$corpus" >/dev/null 2>"$work/fuzz.log" ||
      reported "$work/fuzz.log"; then
    echo "-- $name: failed"; tail -40 "$work/fuzz.log"; echo "crash input kept in $work"; return 1
  fi
  rate=$(awk '/stat::average_exec_per_sec:/ {print $2}' "$work/fuzz.log")
  echo "-- $name: $(ls "$corpus" 2>/dev/null | wc -l) seeds replayed, ${seconds}s fuzzed, ${rate:-?} inputs/s"
  rm -rf "$work"
}

jobs=$(nproc)
failed=0
running=0
for target in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_one "$target" &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
