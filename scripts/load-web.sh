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
source scripts/web-server.sh
brv_web_build brvparts-serve

out=$(mktemp)
trap 'kill $brv_server_pid 2>/dev/null; rm -f "$out"' EXIT
brv_web_serve "$out" "" "$BUILD/brvparts-serve" --snapshot samples/laptop.json --port 0 ||
  { cat "$out"; echo "the server did not start"; exit 1; }
server=$brv_server_pid url=$brv_server_url

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
