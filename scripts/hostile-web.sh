#!/usr/bin/env bash
# Hostile clients against the web container on loopback (127.0.0.1 only): a
# deeply nested request, chunked and other bodies past the limit, slow-header
# and idle keep-alive clients beside fresh calls, every place taken by silent
# connections and a client that reads no answers, a burst of 2,000 connections
# and 100 pipelined requests (scripts/hostile-web.py). Every step is bounded; the
# job fails when a client goes unanswered past its bound, the server's memory
# grows past a bound, or the server ends. It stops the server itself.
#   scripts/hostile-web.sh [STEP...]   (the steps are named in scripts/hostile-web.py)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
brv_install python3
# The same release build as the browser and load tests.
source scripts/web-server.sh
brv_web_build brvparts-serve

out=$(mktemp)
trap 'kill $brv_server_pid 2>/dev/null; wait $brv_server_pid 2>/dev/null; rm -f "$out"' EXIT
brv_web_serve "$out" "" "$BUILD/brvparts-serve" --snapshot samples/laptop.json --port 0 ||
  { cat "$out"; echo "hostile-web: the server did not start"; exit 1; }
port=${brv_server_url##*:}
timeout 300 python3 scripts/hostile-web.py "${port%%/*}" "$brv_server_pid" "$@"
