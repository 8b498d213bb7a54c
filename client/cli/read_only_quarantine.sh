#!/bin/sh
# Makes (setup) or removes (cleanup) the install folder of the command-line
# scanner's read-only quarantine test: <dir> itself is writable (the test
# installs the product there), its "Quarantine" folder is not. Wine lets a
# program write wherever the user may, so the folder is made read-only on
# this side: immutable for root, without write permission for anyone else.
#   read_only_quarantine.sh setup|cleanup <dir>
set -eu
dir=$2
quarantine="$dir/Quarantine"

unlock() {
    [ -d "$quarantine" ] || return 0
    chattr -i "$quarantine" 2>/dev/null || true
    chmod u+w "$quarantine"
}

case $1 in
setup)
    [ -d "$dir" ] && unlock && rm -rf "$dir"
    mkdir -p "$quarantine"
    if [ "$(id -u)" = 0 ]; then
        # A file system without the flag leaves the folder writable: the test
        # then sees that and says so.
        chattr +i "$quarantine" 2>/dev/null || true
    else
        chmod a-w "$quarantine"
    fi
    ;;
cleanup)
    unlock
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 setup|cleanup <dir>" >&2
    exit 2
    ;;
esac
