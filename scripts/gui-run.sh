#!/usr/bin/env bash
# Runs one windowed test under Wine on an X display and in a Wine prefix of
# its own, so that GUI tests run side by side (ctest -j) and none of them
# changes a machine another test sees.
#
#   gui-run.sh --template DIR --prefix DIR --screenshots DIR [--timeout S]
#              [--desktop WIDTHxHEIGHT] [--test-drives] -- PROGRAM [ARGS...]
#   gui-run.sh --prepare-template DIR
#
# The template prefix is made once (later runs find it ready) with the X11
# driver, Wine-drawn window frames (there is no window manager on the test
# display, so Wine draws captions and borders itself) with Wine's own
# TrueType fonts (the caption buttons need Marlett) and the URL recorder as
# the browser. Each run copies it: the large system folders as hard links,
# which no test rewrites in place, everything else as real copies.
#
# PROGRAM is a Windows program (run under wine64) or, when it does not end in
# ".exe", a script run as it is, with WINE and WINESERVER set, for tests that
# restart the wineserver or set the prefix up between runs.
#
# The test sees:
#   DISPLAY                 its own Xvfb display (started with -displayfd, so
#                           parallel runs never race for a number)
#   WINEPREFIX              its own prefix
#   OLVEX_SCREENSHOT_DIR    where its PNG screenshots go (a Windows path;
#                           OLVEX_SCREENSHOT_DIR_UNIX is the same folder)
#   OLVEX_URL_LOG           the file the URL recorder appends opened
#                           addresses to (a Windows path)
# --desktop makes the prefix's default desktop a Wine virtual desktop of that
# size, which every program of the prefix (the window driver too) shares:
# the notification area exists only there. Its first start in a fresh prefix
# takes about 20 s.
#
# --test-drives gives the prefix the drives of testing/gui/test_drives.sh (T:
# a prepared tree, D: and E: CD-ROM drives without a disc and with an empty
# one, no Z:); Windows paths of build files then start with "\\?\unix"
# instead of "Z:", and OLVEX_UNIX_ROOT tells the test so.
#
# A program still running after --timeout seconds (default 240; keep it below
# CTest's own, which would kill the run without cleaning up) is ended, the
# whole screen saved first as "timed-out-screen.png". Every process of the
# prefix ends with the run; the prefix is removed afterwards unless the run
# failed or OLVEX_KEEP_GUI_PREFIX=1.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/wine-env.sh"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

template='' prefix='' shots='' prepare_only=0 timeout=240 desktop='' test_drives=0
unix_root='Z:'

while (($#)); do
  case $1 in
    --template) template=$(realpath -m "$2"); shift 2 ;;
    --prefix) prefix=$(realpath -m "$2"); shift 2 ;;
    --screenshots) shots=$(realpath -m "$2"); shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --desktop) desktop=$2; shift 2 ;;
    --test-drives) test_drives=1; shift ;;
    --prepare-template) template=$(realpath -m "$2"); prepare_only=1; shift 2 ;;
    --) shift; break ;;
    *) echo "gui-run.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

# A Unix path as Wine shows it.
windows_path() { printf '%s%s' "$unix_root" "${1//\//\\}"; }

prepare_template() {
  "$here/wine-prefix.sh" "$template"
  exec 8>"$template.gui-lock"
  flock 8
  if [[ ! -f $template/.olvex-gui-3 ]]; then
    cp /usr/share/wine/fonts/*.ttf "$template/drive_c/windows/Fonts/" 2>/dev/null || true
    (
      wine_env "$template"
      "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f
      # No window manager runs on the test display: unmanaged windows spare
      # the two seconds Wine otherwise waits for one each time a window hides.
      "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
      "$wine" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers \
        /d "$root/testing/gui/url_recorder.sh" /f
      "$wine" reg add 'HKCU\Software\Wine\WineBrowser' /v Mailers \
        /d "$root/testing/gui/url_recorder.sh" /f
      "$server" -w
    ) >/dev/null 2>&1
    touch "$template/.olvex-gui-3"
  fi
  flock -u 8
  exec 8>&-
}

copy_template() {
  rm -rf "$prefix"
  mkdir -p "$prefix"
  exec 8>"$template.gui-lock"
  flock -s 8
  local big=(drive_c/windows/system32 drive_c/windows/winsxs)
  tar -C "$template" "${big[@]/#/--exclude=./}" -cf - . | tar -C "$prefix" -xf -
  for dir in "${big[@]}"; do
    [[ -d $template/$dir ]] && cp -al "$template/$dir" "$prefix/$(dirname "$dir")/"
  done
  flock -u 8
  exec 8>&-
  # Only program images stay shared; any other file there gets a copy of its own.
  find "${big[@]/#/$prefix/}" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.nls' \
    -o -iname '*.drv' -o -iname '*.sys' -o -iname '*.tlb' -o -iname '*.acm' -o -iname '*.ocx' \
    -o -iname '*.cpl' -o -iname '*.ax' \) -exec sh -c \
    'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f"; done' sh {} +
}

[[ -n $template ]] || { echo "gui-run.sh: --template is needed" >&2; exit 2; }
prepare_template
((prepare_only)) && exit 0
[[ -n $prefix && -n $shots && $# -gt 0 ]] || {
  echo "usage: gui-run.sh --template DIR --prefix DIR --screenshots DIR -- PROGRAM [ARGS...]" >&2
  exit 2
}

work=$(mktemp -d)
xvfb_pid=''
status=1
cleanup() {
  set +e
  [[ -d $prefix ]] && WINEPREFIX=$prefix "$server" -k 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
  if [[ $status == 0 && ${OLVEX_KEEP_GUI_PREFIX:-0} != 1 ]]; then
    rm -rf "$prefix"
  elif [[ -d $prefix ]]; then
    echo "gui-run.sh: the test's prefix is kept in $prefix" >&2
  fi
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# The display: Xvfb picks a free number itself and writes it to fd 3 once it
# accepts connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 200); do
  grep -q '^[0-9]' "$work/display" 2>/dev/null && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.05
done
if ! grep -q '^[0-9]' "$work/display" 2>/dev/null; then
  echo "gui-run.sh: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi

copy_template
if [[ -n $desktop ]]; then
  # Written before the wineserver reads the prefix's registry.
  [[ $desktop =~ ^[0-9]+x[0-9]+$ ]] || { echo "gui-run.sh: --desktop WIDTHxHEIGHT" >&2; exit 2; }
  printf '\n[Software\\\\Wine\\\\Explorer] 1700000000\n"Desktop"="Default"\n' >>"$prefix/user.reg"
  printf '\n[Software\\\\Wine\\\\Explorer\\\\Desktops] 1700000000\n"Default"="%s"\n' "$desktop" \
    >>"$prefix/user.reg"
fi
if ((test_drives)); then
  unix_root=$("$root/testing/gui/test_drives.sh" "$prefix")
fi
export OLVEX_UNIX_ROOT=$unix_root
wine_env "$prefix"
export DISPLAY=":$(head -1 "$work/display")"
mkdir -p "$shots"
rm -f "$shots"/*.png
export OLVEX_SCREENSHOT_DIR_UNIX=$shots
export OLVEX_SCREENSHOT_DIR=$(windows_path "$shots")
export OLVEX_URL_LOG=$(windows_path "$prefix/opened-urls.txt")
export WINE=$wine WINESERVER=$server

# One wineserver for the whole run, and Wine's own services started now,
# detached from our output (a service started by the test would otherwise
# inherit the test's output and keep CTest waiting).
"$server" -p </dev/null >/dev/null 2>&1
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true

runner=("$wine")
[[ $1 == *.exe ]] || runner=()
"${runner[@]}" "$@" &
child=$!
(
  sleep "$timeout" &
  trap 'kill $! 2>/dev/null; exit 0' TERM
  wait $!
  echo "gui-run.sh: the test did not end within $timeout s" >&2
  import -window root "$shots/timed-out-screen.png" 2>/dev/null
  kill "$child" 2>/dev/null
) &
watchdog=$!
set +e
wait "$child"
status=$?
kill "$watchdog" 2>/dev/null
wait "$watchdog" 2>/dev/null
set -e
exit "$status"
