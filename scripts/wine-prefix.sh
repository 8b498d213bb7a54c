#!/usr/bin/env bash
# Prepares the Wine prefix the tests and the demo run in.
#   wine-prefix.sh <prefix>               create it when missing
#   wine-prefix.sh <prefix> --keep-alive  also start a persistent wineserver
#   wine-prefix.sh <prefix> --stop        stop the prefix's wineserver
set -euo pipefail
prefix=$(realpath -m "$1")
mode=${2:-}
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
wine_env "$prefix"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

if [[ $mode == --stop ]]; then
  "$server" -k 2>/dev/null || true
  exit 0
fi

# A lock keeps parallel callers from building the same prefix twice.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [[ ! -f $prefix/.olvex-ready ]]; then
  rm -rf "$prefix"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  # The product's own platform: Windows XP (x64 edition, version 5.2).
  "$wine" reg add 'HKCU\Software\Wine' /v Version /d winxp64 /f >/dev/null 2>&1
  "$server" -w
  touch "$prefix/.olvex-ready"
fi
# Windows need a display driver: X11 when a display is there (xvfb-run),
# else Wine's null driver, so programs with hidden windows run headless.
if [[ ! -f $prefix/.olvex-graphics ]]; then
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f >/dev/null 2>&1
  "$server" -w
  touch "$prefix/.olvex-graphics"
fi
flock -u 9

if [[ $mode == --keep-alive ]]; then
  # Start the server and Wine's own services now, detached from our output:
  # a service started later by a test would inherit the test's output pipe
  # and keep its runner waiting. A server already up for the prefix (an
  # earlier run's, or one beside us) is kept: wineserver then says so with
  # status 2.
  status=0
  "$server" -p </dev/null >/dev/null 2>&1 || status=$?
  if ((status != 0 && status != 2)); then
    echo "wine-prefix.sh: wineserver -p failed with status $status" >&2
    exit "$status"
  fi
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
exit 0
