#!/bin/sh
# Makes (setup) or removes (cleanup) what the exterminator's Windows tests
# cannot make under Wine themselves:
#   <dir>/links/pest       a pest folder holding own.txt and "outside-link",
#                          a symbolic link to <dir>/links/outside, which holds
#                          keep.txt (Wine cannot create links)
#   <dir>/odd/pest         a pest folder with own.txt and Sub/own2.txt beside
#                          files whose names Windows programs cannot keep or
#                          put back: "a:b.txt", a name outside the ANSI code
#                          page and a 254-character name (Wine cannot create
#                          them)
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
    mkdir -p "$dir/odd/pest/Sub"
    printf 'own' >"$dir/odd/pest/own.txt"
    printf 'own2' >"$dir/odd/pest/Sub/own2.txt"
    printf 'colon' >"$dir/odd/pest/a:b.txt"
    printf 'wide' >"$dir/odd/pest/$(printf '\346\227\245\346\234\254\350\252\236').txt"
    printf 'long' >"$dir/odd/pest/$(printf '%0250d' 0).txt"
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
