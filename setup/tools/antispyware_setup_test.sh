#!/usr/bin/env bash
# This product through the suite's setup on a real Wine prefix of its own:
# the setup source setup-qz built beside setup-root, with its Windows
# Installer package; the stand-in trust-list library in the system folder.
# Install, the trust-list copy, the checks that refuse a run, the upgrade,
# the uninstall and the clean-up after two restarts.
#   antispyware_setup_test.sh <setup tools build folder> <source folder>
set -euo pipefail
tools=$(realpath "$1")
source_dir=$(realpath "$2")
source_tree=$(realpath "$tools/../../setup-qz")
variants=$(realpath "$tools/../../setup-qz-variants")
. "$(dirname "${BASH_SOURCE[0]}")/wine_test_lib.sh"

setup_prefix "$tools/prefix-antispyware"
# The prefix's desktop is a link to the Linux home: make it a folder of its
# own, so that nothing the package puts there leaves the prefix.
for desktop in "$drive_c"/users/*/Desktop; do
  if [[ -L $desktop ]]; then
    rm "$desktop"
    mkdir "$desktop"
  fi
done
cp -r "$source_tree" "$drive_c/setup-qz"
cp "$tools/trust-list/cvpubapi.dll" "$drive_c/windows/system32/cvpubapi.dll"

suite='C:\Program Files\Kelvan Suite Personal'
product="$suite\\Kelvan Gorsewatch"
code='{69383EC0-27AB-4173-A77C-2F2FB034E57F}'
entry="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code"
packed='HKLM\SOFTWARE\Classes\Installer\Products\0CE38396BA7237147AC7F2F20B435EF7'
suite_key='HKLM\SOFTWARE\Vorandel\Kelvan Suite Personal'
product_key='HKLM\SOFTWARE\Vorandel\KelvanGorsewatch'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
run_once='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce'
list='HKLM\SOFTWARE\Tessaly Labs\Tessaly\TrustList'
install=('C:\setup-qz\Tramlet.exe' /Silent /NoReboot "/Path=$suite")

# A setup run's whole exit code (the package's own registration prints a
# line of its own before it).
run_setup() {
  probe run "$@" | tail -n 1
}

# The trust list's program paths, one a line, in lower case.
trusted() {
  win reg query "$list" /s | awk '/ Path /{ sub(/.*REG_SZ    /, ""); print tolower($0) }' | sort
}
log_text() {
  tr -d '\r' <"$drive_c/trombolog.txt"
}
exists() {
  [[ -e $(unix_path "$1") ]] && echo yes || echo no
}
key_exists() {
  win reg query "$1" >/dev/null 2>&1 && echo yes || echo no
}
# reg.exe fails on a missing key: "no" when the key is gone.
key_gone() {
  "$wine" reg query "$1" >/dev/null 2>&1 && echo no || echo yes
}

# A file of the user's own in the chosen folder, and a tray setting the
# user changed: both stay.
mkdir -p "$(unix_path "$suite")"
echo mine >"$(unix_path "$suite\\notes.txt")"
win reg add "$suite_key\\ScheduleTray" /v RepeatHours /t REG_DWORD /d 5 /f >/dev/null

# --- Install ----------------------------------------------------------------
check "install exits 0" 0 "$(run_setup "${install[@]}")"
for file in olvex.dll Gorsewatch5.exe Wakenor.exe Marvolt.exe Pellory.exe Dunmere.exe \
  'core\qzinfo.dat' 'core\qzfile.dat' 'core\qzloc.dat' xjvprod.dll xjuninst.exe frayle.dll \
  xjvres.dll trombqz.chm; do
  check "installed: $file" yes "$(exists "$product\\$file")"
done
for file in trombo.exe trombodt.exe trombo.exe.manifest trombo.dat trombores.dll xjuninst.exe; do
  check "the suite's folder: $file" yes "$(exists "$suite\\$file")"
done
check "InstallPath names the product's folder" "$product\\" "$(reg_value "$product_key" InstallPath)"
cat >"$drive_c/create.vbs" <<'VBS'
Set scanner = CreateObject("olvex.Scanner")
WScript.Echo "created " & TypeName(scanner)
VBS
check_contains "cscript creates olvex.Scanner" "created" \
  "$(win cscript //nologo 'C:\create.vbs')"
check "the entry's name" "XJ Kelvan Gorsewatch" "$(reg_value "$entry" DisplayName)"
check "the entry is no Installer entry" 0x0 "$(reg_value "$entry" WindowsInstaller)"
check "the package's own command is kept" "MsiExec.exe /I$code" "$(reg_value "$entry" UninstallProduct)"
check "the suite's uninstaller removes it" "\"$product\\xjuninst.exe\" /u" \
  "$(reg_value "$entry" UninstallString)"
check "its icon is the suite's program" "$suite\\trombo.exe,-0" "$(reg_value "$entry" DisplayIcon)"
check "its version" 5.6.7.4 "$(reg_value "$entry" DisplayVersion)"
check "the Installer's key stays" yes "$(key_exists "$packed")"
check "... without a product name" "" "$(reg_value "$packed" ProductName)"
check "the suite's generation" 0x2 "$(reg_value "$suite_key" Generation)"
check "the suite's folder" "$suite" "$(reg_value "$suite_key" Path)"
check "a tray setting the user made stays" 0x5 "$(reg_value "$suite_key\\ScheduleTray" RepeatHours)"
check "a missing one gets its default" 0x0 "$(reg_value "$suite_key\\ScheduleTray" RepeatDays)"
check "the resident helper starts with Windows" "\"$suite\\trombodt.exe\"" \
  "$(reg_value "$run_key" TromboDT)"
check_contains "the first update ran" \
  "\"$product\\pellory.exe\" /noninteractive" "$(log_text)"
expected_list=$(printf '%s\n' "$product\\gorsewatch5.exe" "$product\\pellory.exe" \
  "$product\\wakenor.exe" "$suite\\trombo.exe" "$suite\\trombodt.exe" | tr '[:upper:]' '[:lower:]' | sort)
check "the trust list holds the programs" "$expected_list" "$(trusted)"
desktop_links=$(find "$drive_c/users" -name 'Kelvan Gorsewatch.lnk' -path '*Desktop*' | wc -l)
check "the desktop shortcut" 1 "$desktop_links"

# --- The package opened again -----------------------------------------------
# A user who opens the installed package again repairs the product (or
# nothing happens): it is never removed by that.
check "msiexec /i of the package again exits 0" 0 \
  "$(run_setup msiexec /i 'C:\setup-qz\qz\Gorsewatch.msi' /qn)"
check "... the product is still installed" yes "$(exists "$product\\olvex.dll")"
check "... with its version" 5.6.7.4 "$(reg_value "$entry" DisplayVersion)"
check_contains "... and its engine works" "created" "$(win cscript //nologo 'C:\create.vbs')"
check "msiexec /i with a full interface exits 0" 0 \
  "$(run_setup msiexec /i 'C:\setup-qz\qz\Gorsewatch.msi')"
check "... the product is still installed" yes "$(exists "$product\\Gorsewatch5.exe")"

# --- The trust-list copy ----------------------------------------------------
win reg delete "$list" /f >/dev/null
cp "$(unix_path 'C:\setup-qz\Tramlet.exe')" "$(unix_path "$product\\trustadd.exe")"
check "trustadd.exe /NoUpdateFirewall exits 0" 0 \
  "$(probe run "$product\\trustadd.exe" /Silent /NoUpdateFirewall)"
check "... leaves the list as it was" "" "$(trusted)"
cp "$(unix_path 'C:\setup-qz\Tramlet.exe')" "$(unix_path "$product\\trustadd.exe")"
check "trustadd.exe exits 0" 0 "$(probe run "$product\\trustadd.exe" /Silent)"
check "... fills the list for product and suite" "$expected_list" "$(trusted)"
check "... and removes itself" no "$(exists "$product\\trustadd.exe")"

# --- Runs that are refused ---------------------------------------------------
# A suite program that ignores "-k" keeps running.
printf '[standin]\r\ndelay=120000\r\nignorestop=1\r\n' >"$(unix_path "$suite\\trombo.exe.ini")"
start_background "$suite\\trombo.exe"
check "a suite program that stays running: 9023" 9023 "$(run_setup "${install[@]}")"
check_contains "... logged with its name" "Still running: trombo.exe" "$(log_text)"
rm "$(unix_path "$suite\\trombo.exe.ini")"
win "$suite\\trombo.exe" -k >/dev/null
check "... a stand-in that heeds -k ends" 0 "$(probe waitprocess trombo 30000)"

# A competing product: a silent run removes nothing.
competitor='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{80A3D0E7-63EC-4C98-A462-5DBF0CD81F05}'
win reg add "$competitor" /v DisplayName /d "Rival Sweeper" /f >/dev/null
win reg add "$competitor" /v UninstallString /d "reg delete \"$competitor\" /f" /f >/dev/null
check "a competing product, silent: 9021" 9021 "$(run_setup "${install[@]}")"
check "... is left installed" "Rival Sweeper" "$(reg_value "$competitor" DisplayName)"
win reg delete "$competitor" /f >/dev/null

# Versions: an older package is refused before anything runs; one whose
# product DLL claims more than its package installs fails after it ran.
cp "$variants/older/xjvprod.dll" "$drive_c/setup-qz/qz/xjvprod.dll"
check "an older package: 9015" 9015 "$(run_setup "${install[@]}")"
check_lacks "... before the package ran" "Gorsewatch.exe" "$(log_text)"
cp "$variants/ahead/xjvprod.dll" "$drive_c/setup-qz/qz/xjvprod.dll"
check "a package below its product DLL: 9027" 9027 "$(run_setup "${install[@]}")"

# A newer package upgrades the product in place.
first_engine=$(python3 "$source_dir/setup/package/file_version.py" "$(unix_path "$product\\olvex.dll")")
cp "$variants/newer/"* "$drive_c/setup-qz/qz/"
check "a newer package exits 0" 0 "$(run_setup "${install[@]}")"
check "... its version is shown" 5.6.99.0 "$(reg_value "$entry" DisplayVersion)"
check "... the registration is hidden again" 0x0 "$(reg_value "$entry" WindowsInstaller)"
check "... without a product name" "" "$(reg_value "$packed" ProductName)"
check "... in the same folder" "$product\\" "$(reg_value "$product_key" InstallPath)"
# The newer package carries a newer engine: it replaces the older file and
# is the registered one.
file_version() {
  python3 "$source_dir/setup/package/file_version.py" "$(unix_path "$1")"
}
newer_engine=$(python3 "$source_dir/setup/package/file_version.py" "$tools/../../olvex/next/olvex.dll")
check "... the newer engine is a newer file" yes \
  "$([[ -n $newer_engine && $newer_engine != "$first_engine" ]] && echo yes || echo no)"
check "... the newer engine is on disk" "$newer_engine" "$(file_version "$product\\olvex.dll")"
check "... and registered" "$newer_engine" "$(reg_value 'HKCR\olvex' CurrentVersion)"
# A key's default text.
default_value() {
  win reg query "$1" /ve | awk '/REG_SZ/ { sub(/.*REG_SZ    /, ""); print; exit }'
}
scanner_class='{CB7F0E09-A68A-4ABF-B90E-C3C5112A69A1}'
check "... its ProgID names the scanner class" "$scanner_class" \
  "$(default_value 'HKCR\olvex.Scanner\CLSID')"
check "... from the product's folder" "$product\\olvex.dll" \
  "$(default_value "HKCR\\CLSID\\$scanner_class\\InprocServer32")"
check_contains "... and it works" "created" "$(win cscript //nologo 'C:\create.vbs')"

# --- Uninstall ----------------------------------------------------------------
check "xjuninst.exe /u exits 0" 0 "$(run_setup "$product\\xjuninst.exe" /u /Silent /NoReboot)"
for file in olvex.dll Gorsewatch5.exe Wakenor.exe Marvolt.exe Pellory.exe Dunmere.exe \
  'core\qzinfo.dat' trombqz.chm; do
  check "removed: $file" no "$(exists "$product\\$file")"
done
check "the engine's version key is gone" yes "$(key_gone 'HKCR\olvex')"
check "the engine's classes are gone" yes "$(key_gone "HKCR\\CLSID\\$scanner_class")"
check "the engine's ProgIDs are gone" yes "$(key_gone 'HKCR\olvex.Scanner')"
check "the engine's type library is gone" yes \
  "$(key_gone 'HKCR\TypeLib\{750F2A59-3657-4498-8B12-7455898340C7}')"
check "the engine's interfaces are gone" yes \
  "$(key_gone 'HKCR\Interface\{696B36E3-E963-463D-8D69-1B06371B91D2}')"
check "the engine's shared copy is gone" no \
  "$(exists 'C:\Program Files\Common Files\Scanner\olvex.dll')"
check "InstallPath is gone" "" "$(reg_value "$product_key" InstallPath)"
check "the Installer's product key is gone" yes "$(key_gone "$packed")"
check "the Installer's feature key is gone" yes \
  "$(key_gone 'HKLM\SOFTWARE\Classes\Installer\Features\0CE38396BA7237147AC7F2F20B435EF7')"
check "the uninstall entry is gone" yes "$(key_gone "$entry")"
desktop_links=$(find "$drive_c/users" -name 'Kelvan Gorsewatch.lnk' -path '*Desktop*' | wc -l)
check "the desktop shortcut is gone" 0 "$desktop_links"
check_matches "the clean-up copy waits in TEMP" '"C:\users\*\Temp\xjcu_001.exe" /cleanup' \
  "$(reg_value "$run_once" Tromb_cleanup)"

# Two restarts: the pending deletions, then the clean-up copy, then its own
# deletion.
restart
restart
left=$(cd "$drive_c/Program Files/Kelvan Suite Personal" && find . | sort | tr '\n' ' ')
check "after two restarts only the user's file is left" ". ./notes.txt " "$left"
check "no clean-up copy is left" "" "$(find "$drive_c/users" -iname 'xjcu_*' | tr '\n' ' ')"
check "the suite's key is gone" yes "$(key_gone "$suite_key")"
check "the product's key is gone" yes "$(key_gone "$product_key")"
check "no Start-menu group is left" "" \
  "$(find "$drive_c" -path '*Start Menu*' -name 'Kelvan*' | tr '\n' ' ')"
check "no Run value is left" "" "$(reg_value "$run_key" TromboDT)"

report
