#!/usr/bin/env bash
# Runs a GUI test program with an HTTP server of its own on 127.0.0.1
# (testing/http_server.py) and with everything its programs write to Wine's
# debug output (the protection worker's steps, on the warn+debugstr channel
# of the programs that ask for it) caught in a file the test reads: its
# Windows path is OLVEX_TRACE_LOG. The output still reaches the test's log.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
trace=$WINEPREFIX/worker-trace.log
: >"$trace"
export OLVEX_TRACE_LOG="Z:${trace//\//\\}"
exec python3 "$here/../../../testing/http_server.py" --run -- "$WINE" "$@" \
  2> >(tee -a "$trace" >&2)
