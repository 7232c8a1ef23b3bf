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
BUILD=${BRV_WEB_BUILD:-build-web-release}
[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBRV_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target brvparts-serve -j2 >/dev/null

out=$(mktemp)
"$BUILD/brvparts-serve" --snapshot samples/laptop.json --port 0 >"$out" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do grep -q Listening "$out" && break; sleep 0.1; done
port=$(grep -o 'http://127.0.0.1:[0-9]*' "$out" | head -n 1 | sed 's/.*://')
[ -n "$port" ] || { cat "$out"; echo "hostile-web: the server did not start"; exit 1; }
timeout 300 python3 scripts/hostile-web.py "$port" "$server" "$@"
