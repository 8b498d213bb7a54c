#!/usr/bin/env bash
# Sets everything up, builds every preset and runs every test: the native
# sanitized suites, the Windows suites under Wine, and the fuzz targets
# (corpus replay plus a short fuzzing run each); the portable core once more
# under the thread sanitizer.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

"$root/scripts/setup.sh"

jobs=$(nproc)
build() {
  echo "== build: $1 (at ${SECONDS}s)"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs" "${@:2}"
}
build host
build win64
build win32
build fuzz --target fuzz_all
# The suites with threads of their own, once more under the race detector.
build tsan --target olvex_core_tests

echo "== test: host (at ${SECONDS}s)"
ctest --preset host -j "$jobs"
echo "== test: races (at ${SECONDS}s)"
ctest --preset tsan -R olvex_core_tests
echo "== test: win64 under Wine (at ${SECONDS}s)"
# The windowed tests spend most of their time waiting for windows to answer,
# each on a display and in a Wine prefix of its own: four at a time keep even
# a two-core machine busy.
ctest --preset win64 -j "$((jobs < 4 ? 4 : jobs))"
echo "== fuzz (at ${SECONDS}s)"
"$root/scripts/fuzz.sh" "${OLVEX_FUZZ_SECONDS:-20}"
echo "== all tests passed (in ${SECONDS}s)"
