#!/usr/bin/env bash
# Builds Gorsewatch.msi from its source with wixl, then adds what wixl does
# not write: the engine's self-registration (the SelfReg table with the
# SelfRegModules and SelfUnregModules actions), and the plain property-set
# type of the maintenance run's custom action.
#   build_msi.sh <wxs> <arch x64|x86> <output msi>
set -euo pipefail
wxs=$1 arch=$2 out=$3
tmp="$out.tmp"
rm -f "$tmp"
wixl -a "$arch" -o "$tmp" "$wxs" 2> >(grep -v "has no property named" >&2)
q() { printf '%s' "$1" | sed 's/\[\([A-Za-z_]*\)\]/`\1`/g'; }
msibuild "$tmp" \
  -q "$(q 'CREATE TABLE [SelfReg] ([File_] CHAR(72) NOT NULL, [Cost] SHORT PRIMARY KEY [File_])')" \
  -q "$(q "INSERT INTO [SelfReg] ([File_]) VALUES ('olvex.dll')")" \
  -q "$(q "INSERT INTO [InstallExecuteSequence] ([Action], [Sequence]) VALUES ('SelfUnregModules', 2200)")" \
  -q "$(q "INSERT INTO [InstallExecuteSequence] ([Action], [Sequence]) VALUES ('SelfRegModules', 6500)")" \
  -q "$(q "UPDATE [CustomAction] SET [Type] = 51 WHERE [Action] = 'RemoveOnMaintenance'")"
mv "$tmp" "$out"
