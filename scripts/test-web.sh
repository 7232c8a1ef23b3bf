#!/usr/bin/env bash
# The web page in headless Chromium: installs Chromium (apt) and the test driver
# (npm ci in tests/web), builds the release program in build-web-release/ when
# needed, starts `brvparts serve --port 0` over the sample laptop (in English,
# and in Japanese and German for the page's language), a failing, an injection
# and a display-less snapshot, runs tests/web with node's test runner, and stops the
# servers. Exits non-zero when any step or test fails.
#
# The tests take a screenshot of the page, to $BUILD/web-page.png unless
# BRV_SCREENSHOT names another file: BRV_SCREENSHOT=docs/web-page.png
# scripts/test-web.sh renews the README's picture.
set -euo pipefail
cd "$(dirname "$0")/.."
began=$SECONDS
phase() { echo "== $1 ($((SECONDS - began)) s)"; }

phase "packages"
source scripts/deps.sh
# nodejs from another archive may bring npm itself.
if command -v npm >/dev/null; then brv_install chromium nodejs; else brv_install chromium nodejs npm; fi
# The tests and their driver declare the Node.js they need (package.json's
# "engines"; .npmrc makes npm refuse a driver that wants a newer one): say so
# plainly rather than failing inside a test.
need=$(sed -n 's/^ *"node": *">= *\([0-9][0-9]*\).*/\1/p' tests/web/package.json)
have=$(node -p 'process.versions.node')
if ((${have%%.*} < need)); then
  echo "FAIL: the page's tests need Node.js $need or newer; this machine has $have" >&2
  exit 1
fi
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error) ||
  { echo "FAIL: npm could not install the test driver (Node.js $have)" >&2; exit 1; }

# The page's script is a file of its own: its syntax is checked before anything runs.
node --check containers/web/page/page.js || { echo "FAIL: containers/web/page/page.js does not parse" >&2; exit 1; }

phase "build"
source scripts/web-server.sh
brv_web_build brvparts

phase "servers"
logs=$(mktemp -d /tmp/brvparts-web.XXXXXX)
pids=()
stop_servers() {
  local failed=0
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || continue
    if ! wait "$pid"; then failed=1; fi
  done
  pids=()
  return $failed
}
cleanup() { stop_servers || true; rm -rf "$logs"; }
trap cleanup EXIT

# Starts one server over a snapshot, in the locale LANG names (English unless
# given), with any further options for serve, and exports BRV_URL_NAME with its
# address.
start_server() {
  local name=$1 snapshot=$2 lang=${3:-C.UTF-8}
  shift $(($# < 3 ? $# : 3))  # what is left: more options for serve
  local started=0
  brv_web_serve "$logs/$name.out" "$logs/$name.err" env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG="$lang" \
    "$BUILD/brvparts" serve --port 0 --snapshot "$snapshot" "$@" || started=$?
  pids+=("$brv_server_pid")
  ((started == 0)) || { echo "FAIL: the $name server did not start"; cat "$logs/$name.err"; exit 1; }
  echo "$name: $brv_server_url"
  export "BRV_URL_${name^^}=$brv_server_url"
}
start_server laptop samples/laptop.json
start_server failing tests/data/web/failing.json
start_server injection tests/data/web/injection.json
start_server nodisplay tests/data/web/nodisplay.json
start_server japanese samples/laptop.json ja_JP.UTF-8
start_server german samples/laptop.json de_DE.UTF-8
start_server baseline samples/laptop.json C.UTF-8 --baseline tests/data/web/baseline.json

phase "tests"
export BRV_SCREENSHOT=$(realpath -m "${BRV_SCREENSHOT:-$BUILD/web-page.png}")
status=0
(cd tests/web && timeout 240 node --test --test-concurrency=1) || status=$?

phase "stop"
if ! stop_servers; then
  echo "FAIL: a server did not stop cleanly"; status=1
fi
echo "screenshot: $BRV_SCREENSHOT"
for f in "$logs"/*.err; do
  if [[ -s $f ]]; then echo "stderr of $(basename "$f" .err):"; cat "$f"; fi
done
phase "done"
exit $status
