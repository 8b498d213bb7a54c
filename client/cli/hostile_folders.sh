#!/bin/sh
# Makes (setup) or removes (cleanup) the folders of the command-line
# scanner's tests that a Windows program cannot make for itself under Wine:
#   <root>/read-only-install  an install folder holding a copy of the scanner
#                             that nothing can be written to (immutable for
#                             root, without write permission for anyone else)
#   <root>/full               a small tmpfs of its own (1 MiB), a disk the
#                             tests fill; a plain folder with a file
#                             "not-a-disk-of-its-own" where mounting is not
#                             allowed, which the tests then skip
#   hostile_folders.sh setup|cleanup <root> [Marvolt.exe]
set -eu
root=$2
read_only="$root/read-only-install"
full="$root/full"

unlock() {
    [ -d "$read_only" ] || return 0
    chattr -i "$read_only" 2>/dev/null || true
    chmod u+w "$read_only"
}

unmount() {
    if mountpoint -q "$full" 2>/dev/null; then
        umount "$full" || umount -l "$full"
    fi
}

case $1 in
setup)
    unmount
    [ -d "$root" ] && unlock && rm -rf "$root"
    mkdir -p "$read_only" "$full"
    cp "$3" "$read_only/Marvolt.exe"
    if [ "$(id -u)" = 0 ]; then
        chattr +i "$read_only" 2>/dev/null || true
    else
        chmod a-w "$read_only"
    fi
    if ! mount -t tmpfs -o size=1m,mode=0777 olvex-full "$full" 2>/dev/null; then
        touch "$full/not-a-disk-of-its-own"
    fi
    ;;
cleanup)
    unmount
    unlock
    rm -rf "$root"
    ;;
*)
    echo "usage: $0 setup|cleanup <root> [Marvolt.exe]" >&2
    exit 2
    ;;
esac
