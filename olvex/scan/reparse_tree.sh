#!/usr/bin/env bash
# A tree with a symbolic link to a folder outside it, for the scanner's
# Windows tests: a Windows program under Wine cannot make one itself (Wine
# shows a folder link as a reparse point).
#   reparse_tree.sh setup <dir> <pest file>   tree/real.exe, tree/link -> outside
#   reparse_tree.sh cleanup <dir>
set -euo pipefail
dir=$2
rm -rf "$dir"
if [[ $1 == setup ]]; then
  mkdir -p "$dir/tree" "$dir/outside"
  cp "$3" "$dir/tree/real.exe"
  cp "$3" "$dir/outside/p.exe"
  ln -s ../outside "$dir/tree/link"
fi
