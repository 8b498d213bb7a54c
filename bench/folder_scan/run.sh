#!/usr/bin/env bash
# The folder-scan benchmark under Wine: builds the two programs, makes the
# synthetic tree and definition set once (kept in build/bench-folder-scan),
# then runs the bare walk and the scanner in turn (runs times each, 5 by
# default) after one warm-up pass, prints every run's figures and the medians.
#   bench/folder_scan/run.sh [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-5}
work=$root/build/bench-folder-scan
build=$root/build/win64-bench

cmake --preset win64-bench >/dev/null
cmake --build --preset win64-bench -j4 --target bench_folder_scan bench_bare_walk olvex_host_tools >/dev/null
if [[ ! -f $work/defs/qzfile.dat ]]; then
  rm -rf "$work"
  mkdir -p "$work"
  python3 "$root/bench/folder_scan/make_scan_tree.py" "$work"
  "$build/host-tools/tools/olvex-publish" --out "$work/defs" "$work/defs.txt" >/dev/null
fi

prefix=$build/wineprefix
"$root/scripts/wine-prefix.sh" "$prefix" --keep-alive
trap '"$root/scripts/wine-prefix.sh" "$prefix" --stop' EXIT
. "$root/scripts/wine-env.sh"
wine_env "$prefix"
wine=/usr/lib/wine/wine64
tree="Z:${work//\//\\}\\tree"
defs="Z:${work//\//\\}\\defs"

# Runs one program and adds the bytes it read between its two marks, from
# the host's counters of its process (see io_counter.h).
measure() {
  local label=$1 begin=0 end=0 files=0 line
  shift
  coproc program { OLVEX_BENCH_MARKS=1 exec "$wine" "$@"; }
  local pid=$program_PID out in
  # Copies of the pipes: bash closes the coprocess's own when it ends.
  exec {out}<&"${program[0]}" {in}>&"${program[1]}"
  while IFS= read -r line <&"$out"; do
    line=${line%$'\r'}
    case $line in
      "mark begin") begin=$(awk '/^rchar/ {print $2}' "/proc/$pid/io"); echo go >&"$in" ;;
      "mark end") end=$(awk '/^rchar/ {print $2}' "/proc/$pid/io"); echo go >&"$in" ;;
      *) echo "$line"
         [[ $line == "$label files "* ]] && files=${line##* } ;;
    esac
  done
  exec {out}<&- {in}>&-
  wait "$pid" || true
  ((files > 0)) && echo "$label bytes_read_per_file $(((end - begin) / files))"
}

measure bare "$build/bench/bench_bare_walk.exe" "$tree" >/dev/null  # warms the page cache
log=$work/last-run.txt
: >"$log"
for ((i = 1; i <= runs; i++)); do
  measure bare "$build/bench/bench_bare_walk.exe" "$tree" | tee -a "$log"
  measure scanner "$build/bench/bench_folder_scan.exe" "$defs" "$tree" | tee -a "$log"
done
median() { grep "^$1 $2 " "$log" | awk '{print $3}' | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
best() { grep "^$1 $2 " "$log" | awk '{print $3}' | sort -n | tail -1; }
bare=$(median bare files_per_second)
scanner=$(median scanner files_per_second)
echo "median files per second: bare $bare, scanner $scanner ($((100 * scanner / bare))% of the bare walk)"
echo "goal folder scan against the bare walk  ours $(best scanner files_per_second) files/s (median $scanner)" \
  " reference $(best bare files_per_second) files/s (bare walk, best of this run; median $bare)" \
  " ratio $(awk -v s="$scanner" -v b="$bare" 'BEGIN {printf "%.2f", s / b}') (medians; goal >= 0.70)"
