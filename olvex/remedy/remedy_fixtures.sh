#!/bin/sh
# Makes (setup) or removes (cleanup) what the exterminator's Windows tests
# cannot make under Wine themselves:
#   <dir>/links/pest       a pest folder holding own.txt and "outside-link",
#                          a symbolic link to <dir>/links/outside, which holds
#                          keep.txt (Wine cannot create links)
#   <dir>/locked           a data folder whose Quarantine folder has both
#                          databases but takes no new file (Wine lets a
#                          program write wherever the user may, so it is
#                          locked on this side: immutable for root, without
#                          write permission for anyone else)
#   remedy_fixtures.sh setup|cleanup <dir>
set -eu
dir=$2
locked=$dir/locked/Quarantine

unlock() {
    [ -d "$locked" ] || return 0
    chattr -i "$locked" 2>/dev/null || true
    chmod u+w "$locked"
}

case $1 in
setup)
    [ -d "$dir" ] && unlock && rm -rf "$dir"
    mkdir -p "$dir/links/pest" "$dir/links/outside" "$locked"
    printf 'keep' >"$dir/links/outside/keep.txt"
    printf 'pest' >"$dir/links/pest/own.txt"
    ln -s ../outside "$dir/links/pest/outside-link"
    # Fresh databases: the magic, a zero counter and 24 zero bytes.
    for db in qzqdb.dat qzqsdb.dat; do
        printf 'DQZQ' >"$locked/$db"
        head -c 28 /dev/zero >>"$locked/$db"
    done
    if [ "$(id -u)" = 0 ]; then
        chattr +i "$locked"
    else
        chmod a-w "$locked"
    fi
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
