#!/usr/bin/env bash
# Runs the Task Scheduler check's Windows tests (the program given) twice in
# the test's own prefix (scripts/gui-run.sh sets it up): as a new prefix has
# it, the "Schedule" service stopped, then with the service disabled
# (Start = 4) and the wineserver restarted, so that the service manager
# reads the change.
set -euo pipefail
program=$1
"$WINE" "$program"
"$WINE" reg add 'HKLM\System\CurrentControlSet\Services\Schedule' /v Start /t REG_DWORD /d 4 /f \
  </dev/null >/dev/null 2>&1
"$WINESERVER" -k
"$WINESERVER" -w
# A new server, and Wine's services started detached from our output.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
OLVEX_SCHEDULE_DISABLED=1 "$WINE" "$program" --gtest_filter='*Disabled*'
