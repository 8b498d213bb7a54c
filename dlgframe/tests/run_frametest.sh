#!/bin/sh
# frametest.exe twice on the test's display and prefix: as it is, then
# without Msimg32.dll (so without AlphaBlend) for the scenarios that need
# that. The run fails when either does.
status=0
# Without a window manager on the test display, Wine waits two seconds for
# each window it hides to be withdrawn, unless it manages no window itself.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$WINE" "$1" || status=1
WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}msimg32=d" FRAMETEST_NO_BLEND=1 \
  "$WINE" "$1" --gtest_filter='FrameworkNoBlendTest.*' || status=1
exit $status
