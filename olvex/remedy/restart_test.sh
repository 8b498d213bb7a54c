#!/usr/bin/env bash
# Restart-time moves, carried out by a restart of a Wine prefix of this test's
# own (a pending rename must never be left in the shared test prefix).
#   restart_test.sh <reboot_probe.exe>
set -euo pipefail
probe=$(realpath "$1")
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

timeout 120 "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
timeout 60 "$server" -w
# One server session from here to the restart: a new session would carry out
# the pending moves before they could be looked at.
"$server" -p </dev/null >/dev/null 2>&1

dir=$WINEPREFIX/drive_c/olvex-restart
mkdir -p "$dir" "$dir/data"
printf 'doomed' >"$dir/doomed.txt"
printf 'old' >"$dir/target.txt"
printf 'new' >"$dir/source.txt"
printf 'held' >"$dir/held.exe"
printf 'cookie' >"$dir/user@tracker[1].txt"

timeout 60 "$wine" "$probe" delete 'C:\olvex-restart\doomed.txt' || fail "deletion not scheduled"
timeout 60 "$wine" "$probe" replace 'C:\olvex-restart\source.txt' 'C:\olvex-restart\target.txt' ||
  fail "replacement not scheduled"
# A file in use that the session cannot keep is never deleted, not even at the
# restart; one removed without keeping it (a cookie the client does not want
# kept) still goes at the restart.
timeout 60 "$wine" "$probe" exterminate-held 'C:\olvex-restart\data' 'C:\olvex-restart\held.exe' ||
  fail "the exterminator did not refuse the held file it could not keep"
timeout 60 "$wine" "$probe" exterminate-held-cookie 'C:\olvex-restart\data' \
  'C:\olvex-restart\user@tracker[1].txt' ||
  fail "the exterminator did not schedule the held cookie for the restart"
[[ -e $dir/doomed.txt && -e $dir/held.exe && -e "$dir/user@tracker[1].txt" &&
  $(cat "$dir/target.txt") == old ]] ||
  fail "files changed before the restart"

pending=$(timeout 60 "$wine" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations 2>/dev/null | tr -d '\r')
echo "$pending"
grep -qi 'PendingFileRenameOperations.*REG_MULTI_SZ' <<<"$pending" || fail "no PendingFileRenameOperations"
grep -qi 'olvex-restart\\doomed.txt' <<<"$pending" || fail "the deletion is not pending"
grep -qi 'olvex-restart\\source.txt' <<<"$pending" || fail "the replacement is not pending"
grep -qi 'olvex-restart\\user@tracker\[1\].txt' <<<"$pending" || fail "the cookie's deletion is not pending"
! grep -qi 'olvex-restart\\held.exe' <<<"$pending" || fail "the held file was scheduled without its copy"

# The restart carries out the pending moves before wineboot returns.
timeout 120 "$wine" wineboot -r </dev/null >/dev/null 2>&1 || true

[[ ! -e $dir/doomed.txt ]] || fail "doomed.txt is still there after the restart"
[[ ! -e $dir/source.txt ]] || fail "source.txt is still there after the restart"
[[ -e $dir/held.exe && $(cat "$dir/held.exe") == held ]] || fail "held.exe is gone after the restart"
[[ ! -e "$dir/user@tracker[1].txt" ]] || fail "the cookie is still there after the restart"
[[ $(cat "$dir/target.txt") == new ]] || fail "target.txt was not replaced"
if timeout 60 "$wine" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations >/dev/null 2>&1; then
  fail "moves are still pending after the restart"
fi
echo "restart-time moves carried out"
