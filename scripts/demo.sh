#!/usr/bin/env bash
# Sets everything up, builds the product and runs its main job on the bundled
# sample definitions.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

"$root/scripts/setup.sh"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)"

defs="$root/build/win64/samples/definitions"
echo "== the bundled sample definitions"
for f in qzinfo.dat qzfile.dat qzloc.dat; do
  "$root/build/win64/host-tools/tools/olvex-publish" --dump "$defs/$f"
done
