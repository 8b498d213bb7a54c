#!/usr/bin/env bash
# Runs the stand-in's GUI tests with a folder link in the prefix, made as
# Wine shows a Unix symbolic link: a reparse point inside a folder that a
# stand-in deletes, pointing to a folder that must stay.
set -euo pipefail
root=$WINEPREFIX/drive_c/standin-test
mkdir -p "$root/outside" "$root/linked-tree"
printf precious >"$root/outside/precious.txt"
printf own >"$root/linked-tree/own.txt"
ln -sfn "$root/outside" "$root/linked-tree/link"
exec "$WINE" "$@"
