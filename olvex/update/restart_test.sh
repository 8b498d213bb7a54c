#!/usr/bin/env bash
# An update whose copy meets a file in use, and whose program is to run at
# the next start, carried out by a restart of a Wine prefix of this test's
# own (a pending rename or RunOnce value must never be left in the shared
# test prefix). Runs inside testing/http_server.py, which serves the update.
#   restart_test.sh <update_restart_probe.exe> <update test program.exe> <olvex-publish>
set -euo pipefail
probe=$(realpath "$1")
program=$(realpath "$2")
publish=$(realpath "$3")
: "${OLVEX_HTTP_PORT:?run inside testing/http_server.py --run}"
work=$(mktemp -d)
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
wine_env "$work/prefix"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
cleanup() {
  "$server" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# Each prints the value and succeeds when it exists.
run_once() {
  local text
  text=$(timeout 60 "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' \
    /v qzupdate 2>/dev/null) || return 1
  tr -d '\r' <<<"$text"
}
pending() {
  local text
  text=$(timeout 60 "$wine" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
    /v PendingFileRenameOperations 2>/dev/null) || return 1
  tr -d '\r' <<<"$text"
}

# The update: a definition set, a new notes.txt and a program.
cat >"$work/update.defs" <<'DEFS'
block 2004-03-15 09:40
pest 1 "Restart.One" "Adware"
signature 1 crc 0x11111111
DEFS
printf 'new notes' >"$work/notes.txt"
"$publish" --update-set "$OLVEX_HTTP_ROOT/u" --url "http://127.0.0.1:$OLVEX_HTTP_PORT/u" \
  --extra "notes.txt:2:2:$work/notes.txt" --extra "tool.exe:5:1:$program" "$work/update.defs"

timeout 120 "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
timeout 60 "$server" -w
# One server session from here to the restart: a new session would carry out
# the pending work before it could be looked at.
"$server" -p </dev/null >/dev/null 2>&1

root=$WINEPREFIX/drive_c/olvex-update
mkdir -p "$root/app" "$root/temp"
printf 'old notes' >"$root/app/notes.txt"

timeout 120 "$wine" "$probe" 'C:\olvex-update\app' 'C:\olvex-update\temp' \
  "http://127.0.0.1:$OLVEX_HTTP_PORT/u/qzmaster.dat" 'C:\olvex-update\app\notes.txt' ||
  fail "the update was not applied as expected"

[[ $(cat "$root/app/notes.txt") == "old notes" ]] || fail "notes.txt changed before the restart"
[[ -f $root/app/qzinfo.dat ]] || fail "the definitions were not installed"
[[ ! -e $root/temp/tool.exe.ran ]] || fail "the program ran before the restart"
pending | grep -qi 'olvex-update\\app\\notes.txt' || fail "the replacement is not pending"
run_once | grep -qi 'qzupdate.*REG_SZ' || fail "the program is not set to run at the next start"

# The restart carries out the pending moves and the RunOnce programs.
timeout 120 "$wine" wineboot -r </dev/null >/dev/null 2>&1 || true

[[ $(cat "$root/app/notes.txt") == "new notes" ]] || fail "notes.txt was not replaced at the restart"
for attempt in $(seq 1 100); do
  [[ -s $root/temp/tool.exe.ran ]] && break
  sleep 0.2
done
[[ -s $root/temp/tool.exe.ran ]] || fail "the program did not run at the restart"
if pending >/dev/null; then
  fail "moves are still pending after the restart: $(pending)"
fi
if run_once >/dev/null; then
  fail "the RunOnce value is still there after the restart: $(run_once)"
fi
echo "update completed by the restart"
