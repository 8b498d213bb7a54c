#!/usr/bin/env bash
# The program group through the suite's setup on a Wine prefix of its own:
# groups that lead out of the Programs folder, and device forms of the
# destination, are refused before anything is installed; an install with a
# good group, its uninstall and the clean-up remove their own shortcuts and
# folders and nothing else, also when the recorded group was changed to lead
# out of the Programs folder.
#   program_group_test.sh <setup tools build folder> <source folder>
set -euo pipefail
tools=$(realpath "$1")
source_dir=$(realpath "$2")
source_tree=$(realpath "$tools/../../setup-qz")
. "$(dirname "${BASH_SOURCE[0]}")/wine_test_lib.sh"

setup_prefix "$tools/prefix-program-group"
# A new prefix's Desktop and Documents are links to the Linux home: plain
# folders of the prefix's own, so that nothing here touches the home.
for folder in "$drive_c"/users/*/Desktop "$drive_c"/users/*/Documents; do
  if [[ -L $folder ]]; then
    rm "$folder"
    mkdir "$folder"
  fi
done
cp -r "$source_tree" "$drive_c/setup-qz"
cp "$tools/trust-list/cvpubapi.dll" "$drive_c/windows/system32/cvpubapi.dll"

user=$(basename "$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)")
documents="$drive_c/users/$user/Documents"
programs=$(find "$drive_c/ProgramData" -type d -path '*Start Menu/Programs' | head -n 1)
user_programs=$(find "$drive_c/users/$user" -type d -path '*Start Menu/Programs' | head -n 1)
suite='C:\Program Files\Kelvan Suite Personal'
product="$suite\\Kelvan Gorsewatch"
product_key='HKLM\SOFTWARE\Vorandel\KelvanGorsewatch'
suite_key='HKLM\SOFTWARE\Vorandel\Kelvan Suite Personal'
settings_key="$suite_key\\qz"
entry='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{69383EC0-27AB-4173-A77C-2F2FB034E57F}'

run_setup() {
  probe run "$@" | tail -n 1
}
log_text() {
  tr -d '\r' <"$drive_c/trombolog.txt"
}
exists() {
  [[ -e $(unix_path "$1") ]] && echo yes || echo no
}

# Files of the machine's and the user's own, among them files named as the
# product's shortcuts: a walk out of the Programs folder would meet them.
markers=("$drive_c/marker.txt" "$drive_c/Kelvan Gorsewatch.lnk"
  "$drive_c/Uninstall Kelvan Gorsewatch.lnk" "$drive_c/ProgramData/marker.txt"
  "$drive_c/ProgramData/Kelvan Gorsewatch.lnk" "$documents/marker.txt"
  "$documents/Kelvan Gorsewatch.lnk" "$programs/Tools/mine.lnk")
mkdir -p "$programs/Tools"
for marker in "${markers[@]}"; do
  echo mine >"$marker"
done
markers_left() {
  local marker count=0
  for marker in "${markers[@]}"; do
    [[ -f $marker ]] && count=$((count + 1))
  done
  echo "$count"
}
all_markers=${#markers[@]}
# The files directly in C:\ before any run; which of them are gone.
root_files=$(find "$drive_c" -maxdepth 1 -type f | sort)
root_files_gone() {
  comm -23 <(echo "$root_files") <(find "$drive_c" -maxdepth 1 -type f | sort) | tr '\n' ' '
}

# --- Refused before anything is installed ------------------------------------
for group in '..\..\..\..\..' "..\\..\\..\\..\\..\\users\\$user\\Documents" 'C:\Tools' \
  '\Tools' 'NUL' 'Tools\..\..\..'; do
  check "/Group=$group: refused" 9019 \
    "$(run_setup 'C:\setup-qz\Tramlet.exe' /Silent /NoReboot "/Path=$suite" "/Group=$group")"
  check_contains "... the log says why" \
    "The program group must be a folder name below the Programs folder of the Start menu: $group" \
    "$(log_text)"
done
check "... nothing installed" no "$(exists "$product\\olvex.dll")"
check "... no product registration" "" "$(reg_value "$product_key" InstallPath)"
check "... no suite folder recorded" "" "$(reg_value "$suite_key" Path)"
check "... no uninstall entry" "" "$(reg_value "$entry" DisplayName)"
check "... no folder made" no "$(exists "$suite")"

check "/Path=\\\\?\\C:\\Suite2: refused" 9019 \
  "$(run_setup 'C:\setup-qz\Tramlet.exe' /Silent /NoReboot '/Path=\\?\C:\Suite2')"
check_contains "... the log says why" \
  'The folder cannot be used for the installation: \\?\C:\Suite2' "$(log_text)"
check "... no suite folder recorded" "" "$(reg_value "$suite_key" Path)"
check "... no folder made" no "$(exists 'C:\Suite2')"
check "every marker file is left" "$all_markers" "$(markers_left)"

# --- A good group: install, uninstall, clean-up -------------------------------
install=('C:\setup-qz\Tramlet.exe' /Silent /NoReboot "/Path=$suite" '/Group=Tools\Kelvan')
group="$programs/Tools/Kelvan/Kelvan Gorsewatch"
check "install with /Group=Tools\\Kelvan exits 0" 0 "$(run_setup "${install[@]}")"
check "its shortcut is in the group" yes "$([[ -f "$group/Kelvan Gorsewatch.lnk" ]] && echo yes || echo no)"
check "the group is recorded" 'Tools\Kelvan\Kelvan Gorsewatch' "$(reg_value "$product_key" ProgramGroup)"
echo mine >"$group/notes.txt"
check "uninstall exits 0" 0 "$(run_setup "$product\\xjuninst.exe" /u /Silent /NoReboot)"
check "its shortcuts are gone" "notes.txt" "$(ls "$group" | tr '\n' ' ' | sed 's/ $//')"
rm "$group/notes.txt"
check "cleanup exits 0" 0 "$(run_setup 'C:\setup-qz\Tramlet.exe' /cleanup /Silent)"
check "the group's folders are gone once empty" no \
  "$([[ -e $programs/Tools/Kelvan ]] && echo yes || echo no)"
check "the user's shortcut beside them stays" yes \
  "$([[ -f $programs/Tools/mine.lnk ]] && echo yes || echo no)"
check "the Programs folders stay" "yes yes" \
  "$([[ -d $programs ]] && echo yes) $([[ -d $user_programs ]] && echo yes)"
check "every marker file is left" "$all_markers" "$(markers_left)"

# --- A recorded group that leads out of the Programs folder -------------------
check "install again exits 0" 0 "$(run_setup "${install[@]}")"
win reg add "$product_key" /v ProgramGroup /d '..\..\..\..\..' /f >/dev/null
check "uninstall with a changed record exits 0" 0 \
  "$(run_setup "$product\\xjuninst.exe" /u /Silent /NoReboot)"
win reg add "$settings_key" /v Group /d '..\..\..\..\..' /f >/dev/null
check "cleanup with a changed record exits 0" 0 \
  "$(run_setup 'C:\setup-qz\Tramlet.exe' /cleanup /Silent)"
check "every marker file is left" "$all_markers" "$(markers_left)"
check "no file of C:\\ went" "" "$(root_files_gone)"

report
