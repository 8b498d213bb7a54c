#!/bin/sh
# The browser of GUI test prefixes (HKCU\Software\Wine\WineBrowser points
# here): every address a program opens through ShellExecute is appended, one
# per line, to opened-urls.txt in the test's prefix (OLVEX_URL_LOG to the
# test), and no browser starts.
log="${WINEPREFIX:?}/opened-urls.txt"
for url in "$@"; do
  printf '%s\n' "$url" >>"$log"
done
