#!/usr/bin/env bash
# This product's whole life on a machine, as a new user meets it, on a
# display and in a prefix of the test's own: installed from setup-qz through
# the suite's setup, opened from its Start-menu shortcut, background
# protection set to start with Windows and started, a scan scheduled, then
# removed by the suite's uninstaller while its programs run, and the
# machine restarted twice. Afterwards nothing of it may be left: no program
# running, no start-up value, no scheduled scan, no engine registration or
# engine file, no folder. The window steps are the test program's
# (qz_lifecycle_gui_test.cpp), run between the script's steps.
#   qz_lifecycle_gui_test.sh <test program>
set -euo pipefail
program=$1
build=$(cd "$(dirname "$program")/../.." && pwd)
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
tools=$build/setup/tools
wine=$WINE
server=$WINESERVER
drive_c=$WINEPREFIX/drive_c
. "$source_dir/setup/tools/wine_test_lib.sh"

# Every wait is bounded: a program that hangs fails its step instead of the
# whole run. Output goes through a file, not a pipe: the programs a step
# starts (the main program, the protection) keep its output handles and
# would hold a pipe open for as long as they run.
bounded() {
  local seconds=$1 out
  shift
  out=$(mktemp)
  timeout -k 10 "$seconds" "$wine" "$@" >"$out" 2>/dev/null || true
  tr -d '\r' <"$out"
  rm -f "$out"
}
# The shared helpers (probe, reg_value) run their programs through win.
win() {
  bounded 120 "$@"
}
# Every program of the prefix ends, as at a restart; wineboot -r then does
# what waits for a restart.
restart() {
  "$server" -k 2>/dev/null || true
  timeout 60 "$server" -w 2>/dev/null || true
  bounded 120 wineboot -r >/dev/null
  timeout 60 "$server" -w 2>/dev/null || "$server" -k 2>/dev/null || true
  "$server" -p </dev/null >/dev/null 2>&1 || true
}
key_gone() {
  timeout 60 "$wine" reg query "$1" >/dev/null 2>&1 && echo no || echo yes
}
exists() {
  [[ -e $(unix_path "$1") ]] && echo yes || echo no
}
running() {
  [[ $(probe findprocess "$1") != 0 ]] && echo yes || echo no
}
# The product's scheduled scans in the Task Scheduler's folder (Wine names it
# "tasks").
scan_jobs() {
  find "$drive_c/windows" -maxdepth 2 -ipath '*/tasks/QZv5Scan_*' -printf '%f\n' 2>/dev/null
}

"$server" -p </dev/null >/dev/null 2>&1 || true
cp -r "$build/setup-qz" "$drive_c/setup-qz"
for desktop in "$drive_c"/users/*/Desktop; do
  if [[ -L $desktop ]]; then
    rm "$desktop"
    mkdir "$desktop"
  fi
done

suite='C:\Program Files\Kelvan Suite Personal'
product="$suite\\Kelvan Gorsewatch"
shared='C:\Program Files\Common Files\Scanner'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'

check "install exits 0" 0 "$(bounded 300 "$tools/setupprobe.exe" run 'C:\setup-qz\Tramlet.exe' /Silent /NoReboot "/Path=$suite" | tail -n 1)"
shortcut=$(find "$drive_c" -path '*Start Menu*' -name 'Kelvan Gorsewatch.lnk' | head -n 1)
check "the Start-menu shortcut is there" yes "$([[ -n $shortcut ]] && echo yes || echo no)"
shortcut_windows='C:\'$(realpath --relative-to="$drive_c" "$shortcut" | tr / '\\')

# The window steps: each one must pass.
steps_output=$(QZ_START_MENU_SHORTCUT=$shortcut_windows bounded 300 "$program")
echo "$steps_output" | grep -E '^\[ +(OK|FAILED) ' || true
check_contains "the window steps pass" "[  PASSED  ] 3 tests." "$steps_output"
check "the main program runs" yes "$(running gorsewatch5)"
check "the background protection runs" yes "$(running wakenor)"
check_contains "it starts with Windows" "Wakenor.exe" "$(reg_value "$run_key" KelvanQZAP)"
check_matches "the scheduled scan is there" "QZv5Scan_Daily as * at *.job" "$(scan_jobs)"
check "the engine's shared copy is there" yes "$(exists "$shared\\olvex.dll")"
check "the product keeps the engine" no "$(key_gone 'HKCR\olvex\KelvanGorsewatch')"

# --- Removal while the programs run -----------------------------------------
uninstall_output=$(bounded 300 "$tools/setupprobe.exe" run "$product\\xjuninst.exe" /u /Silent /NoReboot)
check "xjuninst.exe /u exits 0" 0 "$(tail -n 1 <<<"$uninstall_output")"
check_lacks "the engine's unregistration is not refused" "Failed to unregister" "$uninstall_output"
for name in gorsewatch5 wakenor marvolt pellory dunmere; do
  check "$name no longer runs" no "$(running "$name")"
done
check "no KelvanQZAP value" "" "$(reg_value "$run_key" KelvanQZAP)"
check "no scheduled scan" "" "$(scan_jobs)"

restart
restart
for name in gorsewatch5 wakenor; do
  check "$name did not start again" no "$(running "$name")"
done
check "no KelvanQZAP value after the restarts" "" "$(reg_value "$run_key" KelvanQZAP)"
# Every key the engine registers: its version key, the classes (by the
# ProgIDs' class ids, read before the install was removed, and by name),
# the interfaces and the type library.
check "no HKCR\\olvex" yes "$(key_gone 'HKCR\olvex')"
rm -f "$drive_c/classes.reg"
bounded 120 reg export 'HKEY_CLASSES_ROOT' 'C:\classes.reg' >/dev/null
classes=$(iconv -f UTF-16LE -t UTF-8 "$drive_c/classes.reg" 2>/dev/null | tr -d '\r' || true)
check_contains "the classes could be read" '[HKEY_CLASSES_ROOT\' "$classes"
engine_keys=$(grep -iE '^\[.*(olvex|750F2A59-3657-4498-8B12-7455898340C7|CB7F0E09-A68A-4ABF-B90E-C3C5112A69A1|8865E65A-ADF8-4549-A145-66806DB5ABB5|696B36E3-E963-463D-8D69-1B06371B91D2)' <<<"$classes" || true)
check "no key of the engine's classes, ProgIDs, interfaces or type library" "" "$engine_keys"
check "no engine file in the shared folder" no "$(exists "$shared\\olvex.dll")"
check "no shared engine folder" no "$(exists "$shared")"
check "no engine file anywhere" "" "$(find "$drive_c" -iname 'olvex.dll' | tr '\n' ' ')"
check "no product folder" no "$(exists "$product")"
check "no suite folder" no "$(exists "$suite")"

report
