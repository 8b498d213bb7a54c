#!/usr/bin/env bash
# The setup core on a real Wine prefix of its own, through setupprobe.exe:
# the destination table with the prefix's own folders, short names and
# drives; the trust list against the stand-in library; finding and waiting
# for processes; whole exit codes.
#   destinations_and_trust_test.sh <setup tools build folder> <source folder>
set -euo pipefail
tools=$(realpath "$1")
source_dir=$(realpath "$2")
. "$(dirname "${BASH_SOURCE[0]}")/wine_test_lib.sh"

# Every setup program is linked statically: setup copies itself alone.
for program in setupprobe.exe standin.exe trust-list/cvpubapi.dll; do
  imports=$(x86_64-w64-mingw32-objdump -p "$tools/$program" | grep 'DLL Name' || true)
  check_lacks "$program needs no MinGW runtime DLL" "lib" "$imports"
done

setup_prefix "$tools/prefix-destinations"

# --- Destinations -----------------------------------------------------------
# A CD-ROM drive D: as Wine's drive settings declare it; no drive Q:.
mkdir -p "$prefix/cdrom"
ln -s ../cdrom "$prefix/dosdevices/d:"
win reg add 'HKLM\Software\Wine\Drives' /v 'd:' /d cdrom /f >/dev/null
# The mount manager reads the drive types when Wine starts.
"$server" -k 2>/dev/null || true
"$server" -w 2>/dev/null || true
"$server" -p </dev/null >/dev/null 2>&1 || true
user_profile=$(win cmd /c 'echo %USERPROFILE%')
# 195 characters leave room for a product's folder and a file name.
long_folder="C:\\$(printf 'a%.0s' $(seq 192))"
paths=(
  'C:\Program Files\Kelvan Suite Personal' 0
  'C:\Program Files' 8
  'c:\program files\.' 8
  'C:\PROG~FBU' 8
  'C:\PROG~FBU\Kelvan Suite Personal' 0
  '"C:\Suite"' 0
  '"C:\Suite' 3
  'C:\Suite"' 3
  'C:\windows\Suite' 7
  'C:\WINDOWS\system32' 7
  'C:\WINDOWSAPPS' 0
  'C:\users\Public\Suite' 9
  "$user_profile\\Documents\\Suite" 9
  'C:\usersX' 0
  'D:\Suite' 2
  'Q:\Suite' 2
  '\\server\share\Suite' 2
  '\\?\C:\Suite' 2
  '\\?\C:\windows\Suite' 7
  'Suite\X' 2
  '\Suite' 2
  'C:\' 6
  'C:' 6
  '%ProgramFiles%\X' 1
  'C:\a*b' 3
  'C:\a;b' 3
  "$long_folder" 0
  "${long_folder}b" 5
)
inputs=()
expected=()
for ((i = 0; i < ${#paths[@]}; i += 2)); do
  inputs+=("${paths[i]}")
  expected+=("${paths[i + 1]}")
done
mapfile -t codes < <(probe validate "${inputs[@]}")
for i in "${!inputs[@]}"; do
  check "destination ${inputs[i]:0:48}" "${expected[i]}" "${codes[i]:-none}"
done
log=$(cat "$drive_c/setupprobe.log" 2>/dev/null | tr -d '\r')
check_contains "a refusal is logged with its code" \
  '(25025) The folder cannot be used for the installation: C:\Program Files - Value = 8' "$log"

# --- Trust list -------------------------------------------------------------
# The 21 words of a permission record as reg.exe prints REG_BINARY data.
permission_words() {
  local word
  for word in "$@"; do printf '%02X000000' "$word"; done
}
list='HKLM\SOFTWARE\Tessaly Labs\Tessaly\TrustList'
system32="$drive_c/windows/system32"
mkdir -p "$drive_c/Suite"
for program in pellory.exe wakenor.exe gorsewatch5.exe marvolt.exe; do
  printf 'MZ' >"$drive_c/Suite/$program"
done
cp "$tools/trust-list/cvpubapi.dll" "$system32/cvpubapi.dll"

# A new entry gets the merged words: 1 and 3 allowed (kind 2), 2, 4, 11
# and 14 set to 2 (kind 3, unset before).
merged=$(permission_words 84 1 2 1 2 0 0 0 0 0 0 2 0 0 2 0 0 0 0 0 0)
check "trust: a new program" 0 "$(probe trust 'C:\Suite\pellory.exe' 0)"
check "trust: its path" 'C:\Suite\pellory.exe' "$(reg_value "$list\\1" Path)"
check "trust: its merged words" "$merged" "$(reg_value "$list\\1" Perms)"
check "trust: one initialisation" 0x1 "$(reg_value "$list" Calls)"
check "trust: one permission write" 0x1 "$(reg_value "$list" PermWrites)"
check "trust: the session ended" 0x1 "$(reg_value "$list" Terminations)"

check "trust: the same program again (any case)" 0 "$(probe trust 'C:\SUITE\PELLORY.EXE' 0)"
check "trust: still one entry" "" "$(reg_value "$list\\2" Path)"
check "trust: nothing to write" 0x1 "$(reg_value "$list" PermWrites)"

# The user's own choice (word 2 set to 1) stays; replace starts from zero.
chosen=$(permission_words 84 1 1 1 2 0 0 0 0 0 0 2 0 0 2 0 0 0 0 0 0)
win reg add "$list\\1" /v Perms /t REG_BINARY /d "$chosen" /f >/dev/null
check "trust: listed again" 0 "$(probe trust 'C:\Suite\pellory.exe' 0)"
check "trust: the user's choice kept" "$chosen" "$(reg_value "$list\\1" Perms)"
check "trust: replaced" 0 "$(probe trust 'C:\Suite\pellory.exe' 1)"
check "trust: the old entry is gone" "" "$(reg_value "$list\\1" Path)"
check "trust: the new entry" 'C:\Suite\pellory.exe' "$(reg_value "$list\\2" Path)"
check "trust: merged from zero" "$merged" "$(reg_value "$list\\2" Perms)"

calls=$(reg_value "$list" Calls)
check "trust: a missing program file" 0 "$(probe trust 'C:\Suite\missing.exe' 0)"
check "trust: ... makes no library call" "$calls" "$(reg_value "$list" Calls)"

win reg add "$list" /v RefuseInit /t REG_DWORD /d 1 /f >/dev/null
check "trust: one refusal is retried" 0 "$(probe trust 'C:\Suite\wakenor.exe' 0)"
check "trust: ... with a second call" 0x6 "$(reg_value "$list" Calls)"
check "trust: ... and the entry made" 'C:\Suite\wakenor.exe' "$(reg_value "$list\\3" Path)"

terminations=$(reg_value "$list" Terminations)
win reg add "$list" /v RefuseInit /t REG_DWORD /d 2 /f >/dev/null
check "trust: two refusals" 3 "$(probe trust 'C:\Suite\gorsewatch5.exe' 0)"
check "trust: ... after two calls" 0x8 "$(reg_value "$list" Calls)"
check "trust: ... no session to end" "$terminations" "$(reg_value "$list" Terminations)"
check "trust: ... no entry" "" "$(reg_value "$list\\4" Path)"

cp "$tools/trust-list-no-set-perms/cvpubapi.dll" "$system32/cvpubapi.dll"
check "trust: a library without tvSetAppPerms" 2 "$(probe trust 'C:\Suite\marvolt.exe' 0)"
check "trust: ... is never initialised" 0x8 "$(reg_value "$list" Calls)"

rm "$system32/cvpubapi.dll"
check "trust: no library" 1 "$(probe trust 'C:\Suite\marvolt.exe' 0)"

# --- Processes and exit codes ----------------------------------------------
# Long enough for the checks to find it on a busy machine.
standin 'C:\Suite\sleeper.exe' 'delay=8000\r\n'
start_background 'C:\Suite\sleeper.exe'
pid=$(probe findprocess sleeper.exe)
[[ $pid != 0 ]] && found=yes || found=no
check "findprocess: a running program" yes "$found"
check "findprocess: the same by its stem" "$pid" "$(probe findprocess SLEEPER)"
check "waitprocess: its exit code" 0 "$(probe waitprocess sleeper 30000)"
check "findprocess: gone" 0 "$(probe findprocess sleeper)"
check "waitprocess: never there" 0 "$(probe waitprocess nobody 300)"

# The wait starts first and sees the stand-in appear, however slowly it
# starts.
standin 'C:\Suite\waiter.exe' 'delay=3000\r\nexit=7\r\n'
probe waitprocess waiter 60000 >"$prefix/waited.txt" &
waiting=$!
sleep 2
win 'C:\Suite\waiter.exe' >/dev/null
wait "$waiting"
check "waitprocess: a stand-in told exit=7" 7 "$(cat "$prefix/waited.txt")"

standin 'C:\Suite\busy setup.exe' 'exit=9044\r\n'
check "run: the whole exit code" 9044 "$(probe run 'C:\Suite\busy setup.exe' /u 'two words')"
status=0
"$wine" 'C:\Suite\busy setup.exe' >/dev/null 2>&1 || status=$?
check "run: Linux sees only 8 bits" 84 "$status"
standin_log=$(tr -d '\r' <"$drive_c/standin.log")
check_contains "the stand-in logs its name and command line" \
  'busy setup.exe|"C:\Suite\busy setup.exe" /u "two words"' "$standin_log"
check "the stand-in logs one line a start" 4 "$(grep -c . <<<"$standin_log")"

report
