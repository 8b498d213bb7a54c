#!/usr/bin/env bash
# Runs the updater's GUI tests with an HTTP server of their own on 127.0.0.1
# (testing/http_server.py), in the display and Wine prefix gui-run.sh made.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exec python3 "$here/../../testing/http_server.py" --run -- "$WINE" "$@"
