#!/usr/bin/env bash
# Sourced by the web page's jobs (test-web.sh, load-web.sh, hostile-web.sh):
# the release build they share, in build-web-release/ unless BRV_WEB_BUILD
# names another, and servers started on a free loopback port.
BUILD=${BRV_WEB_BUILD:-build-web-release}

# brv_web_build TARGET: builds a target of that build, configuring it first if needed.
brv_web_build() {
  [[ -f $BUILD/CMakeCache.txt ]] || cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBRV_TESTS=OFF >/dev/null
  cmake --build "$BUILD" --target "$1" -j2 >/dev/null
}

# brv_web_serve OUT ERR COMMAND...: starts a server in the background, its
# output in OUT and its errors in ERR (with its output when ERR is empty), and
# waits up to 10 s for its "Listening on URL" line. Sets brv_server_pid and
# brv_server_url; fails when no address came.
brv_web_serve() {
  local out=$1 err=$2
  shift 2
  : >"$out"  # the server's own redirection happens later, in its process
  if [[ -n $err ]]; then "$@" >"$out" 2>"$err" & else "$@" >"$out" 2>&1 & fi
  brv_server_pid=$!
  brv_server_url=
  for _ in $(seq 100); do
    brv_server_url=$(sed -n 's/^Listening on //p' "$out")
    [[ -n $brv_server_url ]] && return 0
    sleep 0.1
  done
  return 1
}
