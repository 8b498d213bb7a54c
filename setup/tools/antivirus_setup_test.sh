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

# The stand-ins' windows are shown on the test's display, for the
# screenshots (Wine runs of ours otherwise get none).
display=${DISPLAY:-}
setup_prefix "$tools/prefix-antivirus"
[[ -n $display ]] && export DISPLAY=$display
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

# --- Closing the earlier editions' programs ----------------------------------
# Each install run closes them first (9023 when one stays). The programs
# run as stand-ins in C:\running, under the names whose "-k" and "/exit"
# commands setup runs from the product's folder where that matters.
mkdir -p "$drive_c/running"
# running <name> <ini lines>: a stand-in program started in the background.
running() {
  standin "C:\\running\\$1" "$2"
  start_background "C:\\running\\$1"
}
# Lets the programs just started open their windows.
settle() {
  sleep 2
}
shot() {
  [[ -n ${DISPLAY:-} ]] && import -window root "$tools/antivirus-$1.png" 2>/dev/null || true
}
stop_running() {
  for name in "$@"; do
    win "C:\\running\\$name" -k >/dev/null
  done
}
edition() {
  win reg add "$av_key" /v ProductId /t REG_DWORD /d "$1" /f >/dev/null
}

# Id 0, the Nim edition: its tray, which ignores stop requests, its main
# window, which ends only on WM_DESTROY, the first-generation window of
# this Windows (the prefix reports 5.2: "2003"), and the update program
# with its error box.
edition 0
running xjvtray.exe 'ignorestop=1\r\nmutex1=Nimtray\r\nwindow1=#32770|Nim Resident Protection Status\r\n'
running nim32.exe 'window1=NimAV|Nim Vuvu-Roved\r\nwindowends=2\r\n'
running nim2003.exe 'window1=Nim2003|Nim for Windows 2003\r\nwindowends=2\r\n'
running autoerr.exe 'window1=#32770|AutoDownload Error\r\n'
running AutoDown.exe 'mutex1=Active Update App\r\n'
settle
shot nim-edition
clear_starts
check "id 0: every program closes, install exits 0" 0 "$(run_setup "${install[@]}")"
check_order "id 0: the tray's /exit comes before its window's 1124" \
  "xjvtray.exe\" /exit" "Nim Resident Protection Status|1124"
check_order "id 0: the main window gets 1124 before WM_DESTROY" \
  "Nim Vuvu-Roved|1124" "Nim Vuvu-Roved|2"
check_order "id 0: the first generation gets 1124 before WM_DESTROY" \
  "Nim for Windows 2003|1124" "Nim for Windows 2003|2"
check_order "id 0: the update error box closes before AutoDown.exe /exit" \
  "AutoDownload Error|16" "AutoDown.exe\" /exit"
check_contains "id 0: the update program ends on /exit" "AutoDown.exe|stopped" "$(starts)"
check_order "id 0: the closing comes before the setup program" "NimMsg.exe|" "setup.exe|"

# Id 2, Tolbrin: a status window without the tray's mutex, the main window
# and the progress meter.
edition 2
running tray2.exe 'ignorestop=1\r\nwindow1=#32770|Tolbrin Real-time Protection Status\r\n'
running tolbrin.exe 'window1=Tolbrin|Tolbrin Personal Edition\r\nwindowends=2\r\n'
running meter2.exe 'window1=#32770|Tolbrin Progress Meter\r\n'
settle
shot tolbrin-edition
clear_starts
check "id 2: every program closes, install exits 0" 0 "$(run_setup "${install[@]}")"
check_order "id 2: the status window after the tray's /exit" \
  "xjvtray.exe\" /exit" "Tolbrin Real-time Protection Status|1124"
check_contains "id 2: the progress meter gets 1124" "Tolbrin Progress Meter|1124" "$(starts)"
check_order "id 2: the main window gets 1124 before WM_DESTROY" \
  "Tolbrin Personal Edition|1124" "Tolbrin Personal Edition|2"

# Id 4, QX Antivirus: its meter and main window close; a first-generation
# window is not this edition's and stays.
edition 4
running meter4.exe 'window1=#32770|Kelvan QX Antivirus Progress Meter\r\nwindowends=2\r\n'
running qxav.exe 'window1=Tolbrin|Kelvan QX Antivirus\r\n'
running nim2003.exe 'window1=Nim2003|Nim for Windows 2003\r\n'
settle
clear_starts
check "id 4: install exits 0" 0 "$(run_setup "${install[@]}")"
check_order "id 4: the progress meter gets 1124 before WM_DESTROY" \
  "Kelvan QX Antivirus Progress Meter|1124" "Kelvan QX Antivirus Progress Meter|2"
check_contains "id 4: the main window gets 1124" "qxav.exe|Kelvan QX Antivirus|1124" "$(starts)"
check_lacks "id 4: the first generation's window is left alone" "Nim for Windows 2003|" "$(starts)"
stop_running nim2003.exe

# Id 7: no window titles; the remover is found by its mutex and told to
# end, a Nim progress meter is not this edition's.
edition 7
running XJVRid.exe 'mutex1=XJAV_RID_MUTEX\r\n'
running meter0.exe 'window1=#32770|Nim Progress Meter\r\n'
settle
clear_starts
check "id 7: install exits 0" 0 "$(run_setup "${install[@]}")"
check_contains "id 7: the remover is told to end" "XJVRid.exe|\"$product\\XJVRid.exe\" -k" "$(starts)"
check_contains "id 7: ... and ends" "XJVRid.exe|stopped" "$(starts)"
check_lacks "id 7: no window is asked to close" "Nim Progress Meter|" "$(starts)"
stop_running meter0.exe

# The resident protection runs (its mutex exists): its service is stopped.
standin 'C:\running\nimmsgnt.exe' 'service=NIMMSGNT\r\n'
win sc create NIMMSGNT binpath= 'C:\running\nimmsgnt.exe' >/dev/null
win sc start NIMMSGNT >/dev/null
running nimres.exe 'mutex1=Nim Resident Protection App\r\n'
settle
check_contains "the service runs before setup" RUNNING "$(win sc query NIMMSGNT)"
clear_starts
check "the resident protection: install exits 0" 0 "$(run_setup "${install[@]}")"
check_contains "... its service was stopped" "nimmsgnt.exe|service stop" "$(starts)"
check_contains "... and is stopped" STOPPED "$(win sc query NIMMSGNT)"
stop_running nimres.exe
win sc delete NIMMSGNT >/dev/null

# The product's own main window that ignores every request: 9023, named
# as xjv.exe.
running xjvmain.exe 'window1=XJAVAPP|Kelvan Vuvu-Roved\r\nwindowends=none\r\n'
settle
shot ignoring-window
check "a window that ignores everything: 9023" 9023 "$(run_setup "${install[@]}")"
check_contains "... logged as xjv.exe" "Still running: xjv.exe" "$(log_text)"
check_contains "... it was asked with WM_DESTROY" "Kelvan Vuvu-Roved|2" "$(starts)"
stop_running xjvmain.exe

report
