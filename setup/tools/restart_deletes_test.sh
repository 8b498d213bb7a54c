#!/usr/bin/env bash
# Files in use deleted at the next restart, on a Wine prefix of its own:
# a running program and a file held open without sharing are "pending",
# listed in PendingFileRenameOperations (NT) or in WININIT.INI's [Rename]
# section with short paths (Windows 9x, through the OS seam), and gone
# after the restart (wineboot -r).
#   restart_deletes_test.sh <setup tools build folder> <source folder>
set -euo pipefail
tools=$(realpath "$1")
source_dir=$(realpath "$2")
. "$(dirname "${BASH_SOURCE[0]}")/wine_test_lib.sh"

setup_prefix "$tools/prefix-restart"
folder='C:\Program Files\Kelvan Suite Personal'
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'

# --- NT: MoveFileEx at the restart ------------------------------------------
standin "$folder\\busy.exe" 'delay=120000\r\n'
printf 'data' >"$(unix_path "$folder\\held.dat")"
standin "$folder\\holder.exe" "delay=120000\\r\\nhold=$folder\\\\held.dat\\r\\n"
start_background "$folder\\busy.exe"
start_background "$folder\\holder.exe"

check "a running program" pending "$(probe delete "$folder\\busy.exe")"
check "a file held open without sharing" pending "$(probe delete "$folder\\held.dat")"
check "a free file" deleted "$(probe delete "$folder\\holder.exe.ini")"
pending=$(reg_value "$session_manager" PendingFileRenameOperations)
check_contains "the running program is listed (moved aside first)" 'Kelvan Suite Personal\busy.1' "$pending"
check_contains "the held file is listed" 'Kelvan Suite Personal\held.dat' "$pending"
check "the running program's name is free at once" no \
  "$([[ -e $(unix_path "$folder\\busy.exe") ]] && echo yes || echo no)"

restart
for name in busy.exe busy.1 held.dat; do
  check "$name is gone after the restart" no \
    "$([[ -e $(unix_path "$folder\\$name") ]] && echo yes || echo no)"
done
check "nothing is pending any more" "" "$(reg_value "$session_manager" PendingFileRenameOperations)"

# --- Windows 9x: WININIT.INI ------------------------------------------------
# A 9x machine keeps its Windows folder here.
win reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v SystemRoot /d 'C:\windows' /f >/dev/null
check "9x: a folder in Windows is refused" 7 "$(probe --os=98 validate 'C:\windows\Suite')"
wininit="$drive_c/windows/wininit.ini"
printf '[rename]\r\nNUL=C:\\windows\\temp\\before.tmp\r\n\r\n[CompatibilityFlags]\r\nkeep=1\r\n' >"$wininit"
printf 'x' >"$drive_c/windows/temp/before.tmp"

standin "$folder\\busy98.exe" 'delay=120000\r\n'
printf 'data' >"$(unix_path "$folder\\held98.dat")"
standin "$folder\\holder98.exe" "delay=120000\\r\\nhold=$folder\\\\held98.dat\\r\\n"
start_background "$folder\\busy98.exe"
start_background "$folder\\holder98.exe"

check "9x: a running program" pending "$(probe --os=98 delete "$folder\\busy98.exe")"
check "9x: a held file" pending "$(probe --os=98 delete "$folder\\held98.dat")"
check "9x: nothing goes to PendingFileRenameOperations" "" \
  "$(reg_value "$session_manager" PendingFileRenameOperations)"
ini=$(tr -d '\r' <"$wininit")
section=$(awk 'tolower($0) ~ /^\[rename\]/ { inside = 1; next } /^\[/ { inside = 0 } inside' <<<"$ini")
# Wine's short names: four characters, "~" and three of a hash.
short_folder='NUL=C:\PROG~FBU\KELV~???\'
check_matches "9x: the moved-aside program in [Rename], short" "*${short_folder}BUSY98.1*" "${section^^}"
check_matches "9x: the held file in [Rename], short" "*${short_folder}HELD98.DAT*" "${section^^}"
check_contains "9x: the other section stays last" $'[CompatibilityFlags]\nkeep=1' "$ini"

restart
for name in busy98.exe busy98.1 held98.dat; do
  check "9x: $name is gone after the restart" no \
    "$([[ -e $(unix_path "$folder\\$name") ]] && echo yes || echo no)"
done
check "9x: the earlier line was carried out too" no \
  "$([[ -e $drive_c/windows/temp/before.tmp ]] && echo yes || echo no)"

report
