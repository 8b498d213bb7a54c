#!/usr/bin/env bash
# The folder-cleaning benchmark under Wine: builds bench_folder_clean and runs
# it in the benchmark prefix on a folder of its own (build/bench-folder-clean,
# made afresh): each round copies a folder of small files into a zip archive
# with our zip writer, then removes the same folder with a quarantine session
# through the engine, and prints both times; the medians and their ratio come
# last. Goal: the cleaning within 3x of the copy.
#   bench/folder_clean/run.sh [files] [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
files=${1:-1000}
rounds=${2:-5}
work=$root/build/bench-folder-clean
build=$root/build/win64-bench

cmake --preset win64-bench >/dev/null
cmake --build --preset win64-bench -j4 --target bench_folder_clean >/dev/null
rm -rf "$work"
mkdir -p "$work"

prefix=$build/wineprefix
"$root/scripts/wine-prefix.sh" "$prefix" --keep-alive
trap '"$root/scripts/wine-prefix.sh" "$prefix" --stop; rm -rf "$work"' EXIT
. "$root/scripts/wine-env.sh"
wine_env "$prefix"
/usr/lib/wine/wine64 "$build/bench/bench_folder_clean.exe" "Z:${work//\//\\}" "$files" "$rounds"
