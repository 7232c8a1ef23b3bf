#!/usr/bin/env bash
# The web container under load from a second process on loopback: wrk sends
# control calls over several connections for a bounded time; every call must be
# answered, and the server's memory must be flat afterwards.
#   scripts/load-web.sh [SECONDS]   (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
source scripts/deps.sh
brv_install wrk
# The same release build as the browser tests.
BUILD=${BRV_WEB_BUILD:-build-web-release}
[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBRV_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target brvparts-serve -j"$(nproc)" >/dev/null

out=$(mktemp)
"$BUILD/brvparts-serve" --snapshot samples/laptop.json --port 0 >"$out" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do grep -q Listening "$out" && break; sleep 0.1; done
url=$(grep -o 'http://[^ ]*' "$out" | head -n 1)
[ -n "$url" ] || { cat "$out"; echo "the server did not start"; exit 1; }

rss() { awk '/VmRSS/ {print $2}' "/proc/$server/status"; }
wrk -t2 -c8 -d2s -s bench/load/call.lua "$url" >/dev/null   # warm up
before=$(rss)
report=$(wrk -t2 -c8 -d"${seconds}s" -s bench/load/call.lua "$url")
after=$(rss)
echo "$report"
echo "server memory: ${before} KB before, ${after} KB after"
kill -0 $server || { echo "the server died"; exit 1; }
grep -q 'bad: 0, errors: 0' <<<"$report" || { echo "some calls were not answered whole"; exit 1; }
# Flat: the second run adds less than 2 MB (a heap may keep a little).
((after - before < 2048)) || { echo "memory grew by $((after - before)) KB"; exit 1; }
echo "load: passed"
