#!/usr/bin/env bash
# The anti-spam member's earlier files folder on a real Wine prefix of its
# own: an install that puts the product elsewhere deletes the folder the
# product used before with its contents, but never what a link in it (or
# the folder itself, when it is a link) points to, and never a folder that
# holds the new one. Links are Unix symbolic links, which Wine shows as
# reparse points; Wine cannot remove such a link (RemoveDirectory answers
# "not empty", DeleteFile "access denied"), so the links themselves stay
# here and the checks are on what they point to.
#   antispam_folders_test.sh <setup tools build folder> <source folder>
set -euo pipefail
tools=$(realpath "$1")
source_dir=$(realpath "$2")
build=$(realpath "$tools/../..")
. "$source_dir/setup/tools/wine_test_lib.sh"

setup_prefix "$tools/prefix-antispam-folders"
source_tree="$drive_c/setup-as"
mkdir -p "$source_tree"
cp "$build/setup-root/"{Tramlet.exe,ulmfrm.dll,ulmres.dll,xjvprod.dll,license.txt} "$source_tree"
cp -r "$build/setup-qz/sc" "$build/setup-members/as" "$source_tree"

product='C:\Program Files\Kelvan Suite Personal\Kelvan Anti-Spam'
key='HKLM\SOFTWARE\Zalt'
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
install=('C:\setup-as\Tramlet.exe' /Silent /NoReboot)

run_setup() {
  probe run "$@" | tail -n 1
}
exists() {
  [[ -e $(unix_path "$1") || -L $(unix_path "$1") ]] && echo yes || echo no
}
# The product's earlier files folder, as its key names it.
earlier_files() {
  win reg add "$key" /v ReleasePath /d "$1" /f >/dev/null
}

# An earlier files folder with a file, a sub-folder and a link to a folder
# of the user's.
mkdir -p "$drive_c/OldAS/files/sub" "$drive_c/mine"
echo old >"$drive_c/OldAS/files/old.txt"
echo old >"$drive_c/OldAS/files/sub/old.txt"
echo keep >"$drive_c/mine/keep.txt"
ln -s "$drive_c/mine" "$drive_c/OldAS/files/linked"
earlier_files 'C:\OldAS\files'
check "install exits 0" 0 "$(run_setup "${install[@]}")"
check "the product's files are in its new folder" yes "$(exists "$product\\z-update.exe")"
check "its key names the new folder" "$product" "$(reg_value "$key" ReleasePath)"
check "the earlier folder's files are gone" no "$(exists 'C:\OldAS\files\old.txt')"
check "... with its sub-folders" no "$(exists 'C:\OldAS\files\sub')"
check "what a link in it pointed to stays" yes "$(exists 'C:\mine\keep.txt')"

# The earlier folder is itself a link: only the link goes.
ln -s "$drive_c/mine" "$drive_c/OldLink"
earlier_files 'C:\OldLink'
check "an install over a linked earlier folder exits 0" 0 "$(run_setup "${install[@]}")"
check "what it pointed to stays" yes "$(exists 'C:\mine\keep.txt')"

# An earlier folder that holds the new one stays.
earlier_files 'C:\Program Files\Kelvan Suite Personal'
check "an install below the earlier folder exits 0" 0 "$(run_setup "${install[@]}")"
check "the product's files stay" yes "$(exists "$product\\z-update.exe")"
check "the suite's files stay" yes "$(exists 'C:\Program Files\Kelvan Suite Personal\trombo.exe')"

# A cleanup leaves a stand-alone edition alone: its folder holds the update
# program but not the suite edition's companion library. Its registration
# names the folder, no uninstall entry names the product.
for entry in 'Zalt {610B2370-F55F-4A0A-932B-EBDB99FFCE6D}' 'Kelvan Suite Personal\as'; do
  win reg delete "$uninstall\\$entry" /f >/dev/null
done
mkdir -p "$drive_c/Zalt/ZSP-1.dat"
echo mail >"$drive_c/Zalt/ZSP-1.dat/store.db"
cp "$source_tree/as/z-update.exe" "$drive_c/Zalt/"
win reg add "$key" /v ReleasePath /d 'C:\Zalt' /f >/dev/null
win reg add "$key" /v AppInstallPath /d 'C:\Zalt' /f >/dev/null
cleanup=('C:\setup-as\Tramlet.exe' /cleanup /Silent)
check "a cleanup beside a stand-alone edition exits 0" 0 "$(run_setup "${cleanup[@]}")"
check "... keeps its data folder" yes "$(exists 'C:\Zalt\ZSP-1.dat\store.db')"
# The suite's edition left behind: the data folders go.
cp "$source_tree/as/zxjsuite.dll" "$drive_c/Zalt/"
check "a cleanup after the suite's edition exits 0" 0 "$(run_setup "${cleanup[@]}")"
check "... removes its data folder" no "$(exists 'C:\Zalt\ZSP-1.dat')"
check "... and nothing else of the folder" yes "$(exists 'C:\Zalt\z-update.exe')"

report
