#!/usr/bin/env bash
# Publishes the engine update of olvex_engine_swap_tests into the folder of
# the test's own HTTP server (its addresses need the server's port), then
# runs the test program.
#   engine_swap_test.sh <olvex-publish> <definition source> <new olvex.dll> <command ...>
# Runs inside testing/http_server.py --run.
set -euo pipefail
publish=$1
source=$2
new_engine=$3
shift 3
: "${OLVEX_HTTP_PORT:?run inside testing/http_server.py --run}"
"$publish" --update-set "$OLVEX_HTTP_ROOT/u" --url "http://127.0.0.1:$OLVEX_HTTP_PORT/u" \
  --extra "olvex.dll:6:2:$new_engine" "$source" >/dev/null
exec "$@"
