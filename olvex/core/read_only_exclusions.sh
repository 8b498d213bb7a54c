#!/bin/sh
# Makes (setup) or removes (cleanup) the read-only folders of the excluder's
# Windows tests: <dir>/current holds an exclusion file with two exclusions,
# <dir>/old only the older, unscrambled file with the same two. Wine lets a
# program write wherever the user may, so the folders are made read-only on
# this side: immutable for root, without write permission for anyone else.
#   read_only_exclusions.sh setup|cleanup <dir>
set -eu
dir=$2

unlock() {
    for folder in "$dir/current" "$dir/old"; do
        [ -d "$folder" ] || continue
        chattr -i "$folder" 2>/dev/null || true
        chmod u+w "$folder"
    done
}

case $1 in
setup)
    [ -d "$dir" ] && unlock && rm -rf "$dir"
    mkdir -p "$dir/current" "$dir/old"
    python3 - "$dir" <<'PY'
import sys
plain = b'PestId "12"\nPath "c:\\temp"\n'
out, previous = bytearray(), 0
for i, byte in enumerate(plain):
    # The engine's scrambling: the first byte masked, every later one chained
    # to the scrambled byte before it.
    value = byte ^ 0xA7 if i == 0 else ((byte ^ 0x3D) + previous) & 0xFF
    out.append(value)
    previous = value
open(sys.argv[1] + '/current/qzexc_en.dat', 'wb').write(out)
open(sys.argv[1] + '/old/qzv5exc.dat', 'wb').write(plain)
PY
    for folder in "$dir/current" "$dir/old"; do
        if [ "$(id -u)" = 0 ]; then
            chattr +i "$folder"
        else
            chmod a-w "$folder"
        fi
    done
    ;;
cleanup)
    if [ -d "$dir" ]; then
        unlock
        rm -rf "$dir"
    fi
    ;;
*)
    echo "usage: $0 setup|cleanup <dir>" >&2
    exit 2
    ;;
esac
