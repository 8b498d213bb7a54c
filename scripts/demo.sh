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

updates="$root/build/win64/samples/site/updates"
echo "== an update set of the sample definitions, as the update server publishes it"
"$root/build/win64/host-tools/tools/olvex-publish" --update-set "$updates" \
  --url http://127.0.0.1:8080/updates "$root/samples/sample.defs"
(cd "$updates" && find . -type f | sort)
echo "-- qzmaster.dat"
cat "$updates/qzmaster.dat"
echo "(served by: python3 testing/http_server.py --root $root/build/win64/samples/site --port 8080)"
