#!/usr/bin/env bash
# Sets everything up, builds the product and runs its main job on the bundled
# sample definitions.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

"$root/scripts/setup.sh"
cmake --preset win64 >/dev/null
# Only what the demo runs: the engine, the command-line scanner, the publisher
# with the sample definitions, the harmless program that plays the agent, and
# the scripted remover's stand-in, without which the exterminator cannot start.
cmake --build --preset win64 -j "$(nproc)" \
  --target olvex marvolt olvex_sample_definitions test_pest olvex_qzclean_standin

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

# The product's main job: a scheduled quarantine scan on a fresh machine.
# A Wine prefix of the demo's own stands for that machine.
wine=/usr/lib/wine/wine64
prefix="$root/build/win64/demo-prefix"
rm -rf "$prefix" "$prefix.lock"
"$root/scripts/wine-prefix.sh" "$prefix" --keep-alive
. "$root/scripts/wine-env.sh"
wine_env "$prefix"
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
unix_path() { "$wine" winepath -u "$1" 2>/dev/null; }
win_env() { "$wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }

echo "== installing Kelvan Gorsewatch into the Wine prefix, as setup does"
program_files=$(win_env ProgramFiles)
install_win="$program_files\\Kelvan Gorsewatch\\"
install=$(unix_path "$install_win")
mkdir -p "$install/core"
cp "$root/build/win64/client/cli/Marvolt.exe" "$root/build/win64/olvex/olvex.dll" "$install/"
# The scripted remover's stand-in goes beside the definitions, where the
# exterminator looks for it.
qzclean="$root/build/win64/testing/programs/qzclean/qzclean.exe"
cp "$qzclean" "$install/core/"
: >"$install/core/qzsrindex.dat"  # no sample pest needs the scripted remover
"$wine" reg add 'HKLM\Software\Vorandel\KelvanGorsewatch' /v InstallPath /t REG_SZ \
  /d "$install_win" /f >/dev/null
"$wine" regsvr32 /s "${install_win}olvex.dll"
echo "InstallPath = $install_win"

echo "== planting the bundled harmless sample pests"
pests_win="$program_files\\OlvexTest"
pests=$(unix_path "$pests_win")
mkdir -p "$pests/Beta"
cp "$root/samples/pests/OlvexTest/alpha.exe" "$root/samples/pests/OlvexTest/beta.dll" "$pests/"
echo "beta's own folder" >"$pests/Beta/readme.txt"
# A harmless program that only sleeps, running as the alpha pest's agent.
cp "$root/build/win64/testing/programs/test_pest.exe" "$pests/alpha-agent.exe"
"$wine" reg add 'HKCU\Software\OlvexTest\Alpha' /v Installed /t REG_SZ /d yes /f >/dev/null
"$wine" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v OlvexTestAlpha \
  /t REG_SZ /d "$pests_win\\alpha.exe" /f >/dev/null
# The user's cookie folder, as the shell names it.
cookies_win=$("$wine" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' \
  /v Cookies 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
cookies=$(unix_path "${cookies_win:-$(win_env USERPROFILE)\\Cookies}")
mkdir -p "$cookies"
printf 'id\n1\nolvextest-tracker.example/\n' >"$cookies/user@olvextest-tracker.example[1].txt"
# The sample definitions, with the memory signature of the running agent: the
# first page of its image is its file's headers followed by zeros.
crc=$(python3 - "$pests/alpha-agent.exe" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
headers = struct.unpack_from("<I", data, pe + 24 + 60)[0]
page = data[:min(headers, 4096)].ljust(4096, b"\0")
print("0x%08X" % zlib.crc32(page))
PY
)
demo_defs="$root/build/win64/samples/demo"
rm -rf "$demo_defs" && mkdir -p "$demo_defs/defs" && cp -r "$root/samples/pests" "$demo_defs/"
{
  cat "$root/samples/sample.defs"
  echo "memory 1001 $crc"
} >"$demo_defs/sample.defs"
"$root/build/win64/host-tools/tools/olvex-publish" --out "$install/core" "$demo_defs/sample.defs"
"$wine" "$pests_win\\alpha-agent.exe" </dev/null >/dev/null 2>&1 &
agent=$!
sleep 2
find "$pests" "$cookies" -type f | sed "s|^$prefix/dosdevices/c:|C:|"
echo "HKCU\\Software\\OlvexTest\\Alpha, the Run value OlvexTestAlpha, the running alpha-agent.exe"

echo "== Marvolt.exe /quarantine"
if ! timeout 90 "$wine" "${install_win}Marvolt.exe" /quarantine </dev/null; then
  echo "(Marvolt did not end within 90 s: an engine error message is waiting for an answer)"
fi

data=$(unix_path "$(win_env ALLUSERSPROFILE)\\Application Data\\XJ\\KelvanGorsewatch")
[[ -d $data ]] || data=$(dirname "$(find "$prefix/drive_c" -name QZv5Log.txt | head -1)")
echo "== the activity log ($(basename "$data")/QZv5Log.txt)"
cat "$data/QZv5Log.txt" 2>/dev/null | tr -d '\r' || true
echo "== the scan history (qzscanhistory.txt)"
cat "$data/qzscanhistory.txt" 2>/dev/null | tr -d '\r' || true
echo
echo "== what is left of the planted pests"
state() { "$@" && echo "still there" || echo "gone"; }
key_there() { "$wine" reg query "$@" >/dev/null 2>&1; }
left() { printf '  %-60s %s\n' "$1" "$2"; }
left "$pests_win\\alpha.exe" "$(state test -e "$pests/alpha.exe")"
left "$pests_win\\beta.dll" "$(state test -e "$pests/beta.dll")"
left "$pests_win\\Beta (folder)" "$(state test -e "$pests/Beta")"
left "$pests_win\\alpha-agent.exe" "$(state test -e "$pests/alpha-agent.exe")"
left "the running alpha-agent.exe" "$(state kill -0 "$agent" 2>/dev/null)"
left 'HKCU\Software\OlvexTest\Alpha' "$(state key_there 'HKCU\Software\OlvexTest\Alpha')"
left 'HKCU\...\CurrentVersion\Run, value OlvexTestAlpha' \
  "$(state key_there 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v OlvexTestAlpha)"
left "the cookie user@olvextest-tracker.example[1].txt" \
  "$(state test -e "$cookies/user@olvextest-tracker.example[1].txt")"
kill "$agent" 2>/dev/null || true
echo "== the quarantine (sessions and databases under the install folder)"
find "$install" \( -name '*.zip' -o -name 'qzq*db.dat' \) | sed "s|^$prefix/dosdevices/c:|C:|"
# Each stored item of a session archive names its place in its comment.
find "$install" -name '*.zip' -print0 | xargs -0 -r python3 -c '
import sys, zipfile
for name in sys.argv[1:]:
    print("-- what %s holds" % name.rsplit("/", 1)[-1])
    for info in zipfile.ZipFile(name).infolist():
        print("  ", info.comment.decode("latin-1").strip() or info.filename)
'

