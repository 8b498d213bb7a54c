#!/usr/bin/env bash
# The antivirus member through the suite's setup on a Wine prefix of its
# own: a setup source of the setup-qz root and programs with the member's
# folder setup-members/av, whose programs are stand-ins that record every
# start in C:\standin.log. The exact command lines of the member's setup
# program, update program and uninstaller, the earlier antivirus that
# counts as a competitor only with its program, the uninstaller that
# leaves the product registered, and the closing of the earlier editions'
# programs by their windows, mutexes and commands.
#   antivirus_setup_test.sh <setup tools build folder> <source folder>
set -euo pipefail
tools=$(realpath "$1")
source_dir=$(realpath "$2")
qz_source=$(realpath "$tools/../../setup-qz")
member=$(realpath "$tools/../../setup-members/av")
. "$(dirname "${BASH_SOURCE[0]}")/wine_test_lib.sh"

setup_prefix "$tools/prefix-antivirus"
source_tree="$drive_c/setup-av"
mkdir -p "$source_tree"
cp "$qz_source"/{Tramlet.exe,ulmfrm.dll,ulmres.dll,license.txt,xjvprod.dll} "$source_tree/"
cp -r "$qz_source/sc" "$member" "$source_tree/"
cp "$tools/trust-list/cvpubapi.dll" "$drive_c/windows/system32/cvpubapi.dll"

suite='C:\Program Files\Kelvan Suite Personal'
product="$suite\\Kelvan Vuvu-Roved"
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
entry="$uninstall\\NIMWIN32Vp5"
av_key='HKLM\SOFTWARE\Vorandel\Vuvu-Roved'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
install=('C:\setup-av\Tramlet.exe' /Silent /NoReboot "/Path=$suite")
uninstall_command=("$product\\xjuninst.exe" /u /Silent /NoReboot)

run_setup() {
  probe run "$@" | tail -n 1
}
# The stand-ins' log since the last clear, without carriage returns.
starts() {
  [[ -f $drive_c/standin.log ]] && tr -d '\r' <"$drive_c/standin.log" || true
}
clear_starts() {
  rm -f "$drive_c/standin.log"
}
log_text() {
  tr -d '\r' <"$drive_c/trombolog.txt"
}
exists() {
  [[ -e $(unix_path "$1") ]] && echo yes || echo no
}
key_gone() {
  "$wine" reg query "$1" >/dev/null 2>&1 && echo no || echo yes
}
# The line number of the first log line holding the text (0 when none).
line_of() {
  starts | grep -n -i -F -- "$1" | head -n 1 | cut -d: -f1 || true
}
# The first text's line comes before the second's, both present.
check_order() {
  local name=$1 first second
  first=$(line_of "$2")
  second=$(line_of "$3")
  if [[ -n $first && -n $second ]] && ((first < second)); then
    echo "ok   $name"
  else
    echo "FAIL $name"
    echo "     expected \"$2\" (line ${first:-none}) before \"$3\" (line ${second:-none})"
    starts | sed 's/^/     | /'
    failures=$((failures + 1))
  fi
}

# --- An earlier antivirus is a competitor only with its program -------------
earlier="$uninstall\\Kelvan QX Antivirus"
win reg add "$earlier" /v DisplayName /d "Kelvan QX Antivirus" /f >/dev/null
win reg add "$earlier" /v UninstallString /d 'C:\earlier\uninst.exe' /f >/dev/null
win reg add 'HKLM\SOFTWARE\Vorandel\Tolbrin\6.0\Path' /v HOME /d 'C:\earlier' /f >/dev/null
mkdir -p "$drive_c/earlier"
touch "$drive_c/earlier/brelcit.exe"
check "the earlier antivirus with brelcit.exe, silent: 9021" 9021 "$(run_setup "${install[@]}")"
check_lacks "... its setup program never ran" "setup.exe|" "$(starts)"
rm "$drive_c/earlier/brelcit.exe"

# --- Install ------------------------------------------------------------------
clear_starts
check "install without brelcit.exe exits 0" 0 "$(run_setup "${install[@]}")"
check_contains "setup.exe gets the silent switches and the destination" \
  "setup.exe|\"C:\\setup-av\\av\\setup.exe\" /Silent /NoUpdateFromWeb /ProductDest=\"$product\"" \
  "$(starts)"
check_contains "the update program runs silently" \
  "\"$product\\autodown.exe\" /FullInstallSilent" "$(starts)"
check_lacks "no first scan in a silent run" "xjv.exe|" "$(starts)"
check "the product's own entry names the suite's uninstaller" "\"$product\\xjuninst.exe\" /u" \
  "$(reg_value "$entry" UninstallString)"
check "... keeps the product's own uninstaller" "\"C:\\windows\\unnim32.exe\" /Silent" \
  "$(reg_value "$entry" UninstallProduct)"
check "... and is shown as the suite's member" "XJ Kelvan Vuvu-Roved" "$(reg_value "$entry" DisplayName)"
check "the program group is recorded" 'Kelvan Security Suite\Kelvan Vuvu-Roved' \
  "$(reg_value "$av_key\\Install" ProgramGroup)"
for file in trombav.chm xjvprod.dll xjuninst.exe NimMsg.exe xjv.exe; do
  check "installed: $file" yes "$(exists "$product\\$file")"
done
check "the uninstaller is in the Windows folder" yes "$(exists 'C:\windows\unnim32.exe')"

# The controller's own switches are passed on; a definition file and a
# silent run still give no first scan.
touch "$(unix_path "$product\\nim.dat")"
clear_starts
check "a second install with every switch exits 0" 0 \
  "$(run_setup "${install[@]}" /NoUpdateFirewall /NoUninstallInfo /NoProgramGroup /IgnoreOtherAV /NoUpdateFromWeb)"
check_contains "... the switches reach setup.exe" \
  "/Silent /NoUpdateFromWeb /NoUpdateFirewall /NoUninstallInfo /NoProgramGroup /IgnoreOtherAV /ProductDest=\"$product\"" \
  "$(starts)"
check_lacks "... /NoUpdateFromWeb: no update program" "AutoDown.exe|" "$(starts)"
check_lacks "... and no first scan" "xjv.exe|" "$(starts)"
rm -f "$(unix_path "$product\\nim.dat")"

# --- Uninstall ------------------------------------------------------------------
clear_starts
check "uninstall exits 0" 0 "$(run_setup "${uninstall_command[@]}")"
check_contains "unnim32.exe runs silently from the Windows folder" \
  "unnim32.exe|\"C:\\windows\\unnim32.exe\" /Silent" "$(starts)"
check_contains "the running programs were asked to end first" "NimMsg.exe|" "$(starts)"
check_order "... before the uninstaller" "NimMsg.exe|" "unnim32.exe|"
check "the product's key is gone" yes "$(key_gone "$av_key")"
check "its entry is gone" yes "$(key_gone "$entry")"
check "the help file is gone" no "$(exists "$product\\trombav.chm")"

# An uninstaller that leaves the product registered: 9039.
check "reinstall exits 0" 0 "$(run_setup "${install[@]}")"
printf '[standin]\r\n' >"$drive_c/windows/unnim32.exe.ini"
check "an uninstaller that leaves the version: 9039" 9039 "$(run_setup "${uninstall_command[@]}")"

report
