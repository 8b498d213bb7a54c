#!/usr/bin/env bash
# The swap stub on an older engine DLL that stays in use for more than a
# minute (its one real full wait), in a Wine prefix of this test's own: it
# ends with -1 (read inside Wine) and leaves the RunOnce value "qzupdstub"
# with short paths, the older DLL untouched and still registered; the
# restart of the prefix runs that value and the swap completes. A RunOnce
# value must never be left in the shared test prefix.
#   swap_restart_test.sh <Swavel.exe> <swap_test_helper.exe> <old DLL> <new DLL>
set -euo pipefail
stub=$(realpath "$1")
helper=$(realpath "$2")
old_dll=$(realpath "$3")
new_dll=$(realpath "$4")
work=$(mktemp -d)
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
wine_env "$work/prefix"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
holder=
cleanup() {
  [[ -n $holder ]] && kill "$holder" 2>/dev/null
  "$server" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
query() {  # <key> <value>: prints the data of a REG_SZ value, fails when missing
  local text
  text=$(timeout 60 "$wine" reg query "$1" /v "$2" 2>/dev/null) || return 1
  tr -d '\r' <<<"$text" | sed -n 's/^ *'"$2"' *REG_SZ *//p' | grep .
}
run_once() { query 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' qzupdstub; }
marker() { query 'HKCU\Software\OlvexTest\SwapStub' "$1"; }
long_path() { timeout 60 "$wine" "$helper" longpath "$1" | tr -d '\r'; }

timeout 120 "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
timeout 60 "$server" -w
# One server session until the restart: a new session would run the RunOnce
# value before it could be looked at.
"$server" -p </dev/null >/dev/null 2>&1

c=$WINEPREFIX/drive_c
install="$c/Program Files/Kelvan Gorsewatch"
downloads="$c/Update Downloads/_core_"
mkdir -p "$install" "$downloads"
cp "$stub" "$install/Swavel.exe"
cp "$old_dll" "$install/olvex.dll"
cp "$new_dll" "$downloads/olvex.dll.7.6.qzu"
win_install='C:\Program Files\Kelvan Gorsewatch'
win_older="$win_install\\olvex.dll"
win_newer='C:\Update Downloads\_core_\olvex.dll.7.6.qzu'

timeout 60 "$wine" regsvr32 /s "$win_older" </dev/null >/dev/null 2>&1 ||
  fail "the older DLL could not be registered"
[[ $(marker Registered) == 1.0.0.1 ]] || fail "the older DLL is not registered"

# Held, until released, for longer than the stub waits.
timeout 300 "$wine" "$helper" hold load "$win_older" 240000 'C:\held' 'C:\release' \
  </dev/null >/dev/null 2>&1 &
holder=$!
for _ in $(seq 1 600); do
  [[ -e $c/held ]] && break
  sleep 0.1
done
[[ -e $c/held ]] || fail "the helper did not load the older DLL"

started=$SECONDS
# The stub's own output (the two paths) comes first.
output=$(timeout 180 "$wine" "$helper" run "$win_install\\Swavel.exe" "$win_older" "$win_newer" \
  </dev/null 2>/dev/null | tr -d '\r')
result=$(grep '^exit ' <<<"$output" || true)
waited=$((SECONDS - started))
[[ $result == "exit -1" ]] || fail "the stub ended with '$result', not -1"
((waited >= 59)) || fail "the stub gave up after $waited s"
echo "the stub waited $waited s and ended with -1"

cmp -s "$old_dll" "$install/olvex.dll" || fail "the older DLL was changed"
[[ $(marker Log) == "register 1.0.0.1;" ]] || fail "registrations while in use: $(marker Log)"
[[ $(marker Registered) == 1.0.0.1 ]] || fail "the older DLL is no longer registered"
cmp -s "$new_dll" "$install/olvex.dll.new" || fail "no copy of the newer DLL beside the older one"
[[ ! -e $downloads/olvex.dll.7.6.qzu ]] || fail "the download was left behind"

# The stub's short path, then the older DLL's and the staged copy's short
# paths in double quotes.
command=$(run_once) || fail "no RunOnce value"
echo "RunOnce qzupdstub: $command"
[[ $command =~ ^([^\ \"]+)\ \"([^\ \"]+)\"\ \"([^\ \"]+)\"$ ]] ||
  fail "the RunOnce value is not three short paths: $command"
[[ $(long_path "${BASH_REMATCH[1]}") == "$win_install\\Swavel.exe" ]] ||
  fail "the first path is not the stub's"
[[ $(long_path "${BASH_REMATCH[2]}") == "$win_older" ]] || fail "the second path is not the older DLL"
[[ $(long_path "${BASH_REMATCH[3]}") == "$win_older.new" ]] ||
  fail "the third path is not the staged copy"

touch "$c/release"
wait "$holder" || true
holder=

# The restart runs the value: the swap completes.
timeout 120 "$wine" wineboot -r </dev/null >/dev/null 2>&1 || true
for _ in $(seq 1 300); do
  cmp -s "$new_dll" "$install/olvex.dll" && [[ ! -e $install/olvex.dll.new ]] && break
  sleep 0.2
done
cmp -s "$new_dll" "$install/olvex.dll" || fail "the restart did not swap the DLL"
[[ ! -e $install/olvex.dll.new ]] || fail "the staged copy was left behind"
[[ $(marker Log) == "register 1.0.0.1;unregister 1.0.0.1;register 2.0.0.2;" ]] ||
  fail "registrations after the restart: $(marker Log)"
[[ $(marker Registered) == 2.0.0.2 ]] || fail "the newer DLL is not registered"
if run_once >/dev/null; then
  fail "the RunOnce value is still there after the restart"
fi
echo "the restart completed the swap"
