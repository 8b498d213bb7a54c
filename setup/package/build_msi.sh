#!/usr/bin/env bash
# Builds Gorsewatch.msi from its source with wixl, then adds what wixl does
# not write: the engine's self-registration (the SelfReg table with the
# SelfRegModules and SelfUnregModules actions), and the File table's Version of each program file, from the file's own version
# resource, so that an upgrade replaces an older program on disk (the
# Installer never replaces a versioned file with an unversioned one).
#   build_msi.sh <wxs> <arch x64|x86> <output msi> [<File id>=<file> ...]
set -euo pipefail
wxs=$1 arch=$2 out=$3
shift 3
here=$(dirname "${BASH_SOURCE[0]}")
tmp="$out.tmp"
rm -f "$tmp"
wixl -a "$arch" -o "$tmp" "$wxs" 2> >(grep -v "has no property named" >&2)
q() { printf '%s' "$1" | sed 's/\[\([A-Za-z_]*\)\]/`\1`/g'; }
msibuild "$tmp" \
  -q "$(q 'CREATE TABLE [SelfReg] ([File_] CHAR(72) NOT NULL, [Cost] SHORT PRIMARY KEY [File_])')" \
  -q "$(q "INSERT INTO [SelfReg] ([File_]) VALUES ('olvex.dll')")" \
  -q "$(q "INSERT INTO [InstallExecuteSequence] ([Action], [Sequence]) VALUES ('SelfUnregModules', 2200)")" \
  -q "$(q "INSERT INTO [InstallExecuteSequence] ([Action], [Sequence]) VALUES ('SelfRegModules', 6500)")"
for program in "$@"; do
  id=${program%%=*} file=${program#*=}
  version=$(python3 "$here/file_version.py" "$file")
  # A program without a version resource stays unversioned: the Installer
  # then replaces it when the copy on disk was not changed since its install.
  [[ -n $version ]] || continue
  msibuild "$tmp" -q "$(q "UPDATE [File] SET [Version] = '$version' WHERE [File] = '$id'")"
done
mv "$tmp" "$out"
