#!/usr/bin/env bash
# Gives a test's Wine prefix the drives of a machine with discs, before its
# wineserver starts (Wine reads the drive types when its services start):
#
#   T:  a prepared tree (folders "custom\inner" and "other"), a fixed disk
#   D:  a CD-ROM drive without a disc (its link points nowhere)
#   E:  a CD-ROM drive with an empty disc
#
# and no Z:, so nothing shows or walks the whole Linux root. Programs of the
# test then reach build files through Wine's "\\?\unix\" paths: the script
# prints the prefix for them (OLVEX_UNIX_ROOT in gui-run.sh).
#
#   test_drives.sh PREFIX
set -euo pipefail
prefix=$(realpath -m "$1")
drives=$prefix/test-drives
rm -rf "$drives"
mkdir -p "$drives/t/custom/inner" "$drives/t/other" "$drives/empty-disc"
cd "$prefix/dosdevices"
rm -f z: t: d: e:
ln -s "$drives/t" t:
ln -s "$drives/no-disc" d:
ln -s "$drives/empty-disc" e:
printf '\n[Software\\\\Wine\\\\Drives] 1700000000\n"d:"="cdrom"\n"e:"="cdrom"\n"t:"="hd"\n' \
  >>"$prefix/system.reg"
printf '%s\n' '\\?\unix'
