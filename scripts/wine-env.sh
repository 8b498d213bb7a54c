# The environment every Wine run of ours gets. Source this file, then call
#   wine_env <prefix>
# Quiet, no proxies (tests talk to servers on 127.0.0.1), no display (the
# prefixes fall back to the null display driver), no prompts to install the
# .NET or HTML engines, no menu entries, and no debugger: a program that
# crashes fails at once instead of waiting in the debugger until its time-out.
wine_env() {
  export WINEPREFIX="$1" WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
  unset DISPLAY http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
}
