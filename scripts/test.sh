#!/usr/bin/env bash
# Sets everything up, builds every preset and runs every test: the native
# sanitized suites, the Windows suites under Wine, and the fuzz targets
# (corpus replay plus a short fuzzing run each).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

"$root/scripts/setup.sh"

jobs=$(nproc)
for preset in host win64 win32 fuzz; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

echo "== test: host"
ctest --preset host -j "$jobs"
echo "== test: win64 (under Wine)"
ctest --preset win64 -j "$jobs"
echo "== fuzz"
"$root/scripts/fuzz.sh" "${OLVEX_FUZZ_SECONDS:-30}"
echo "== all tests passed"
