#!/usr/bin/env bash
# Runs every test: the web page in headless Chromium, under load and against
# hostile clients, the Windows build under
# Wine, each fuzz target for a bounded time, the Debian package unpacked into a
# scratch root, reports sent to a real inventory server, and last the unit and program tests
# of the sanitizer build (AddressSanitizer and UndefinedBehaviorSanitizer).
# Every job runs even when an earlier one failed; the exit status says whether
# all of them passed.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh || exit 1

failed=()
job() {
  local name=$1; shift
  echo "=== $name"
  local began=$SECONDS
  if "$@"; then
    echo "=== $name: passed ($((SECONDS - began)) s)"
  else
    echo "=== $name: FAILED ($((SECONDS - began)) s)"
    failed+=("$name")
  fi
}

job "includes run one way (layers)" bash -c 'bash scripts/check-layers.sh && bash scripts/check-layers.sh --self-test'
job "style and bug checks (clang-format, clang-tidy)" bash scripts/lint.sh
job "web page (headless Chromium)" bash scripts/test-web.sh
job "web page under load (wrk)" bash scripts/load-web.sh 10
job "web server against hostile clients" bash scripts/hostile-web.sh
job "Windows build (Wine)" bash scripts/test-windows.sh
job "fuzz targets" bash scripts/fuzz.sh "${BRV_FUZZ_SECONDS:-10}"
job "Debian package" bash scripts/test-package.sh
job "reports to an inventory server (OCS Inventory NG on loopback)" bash scripts/test-send.sh

unit() {
  cmake --preset debug >/dev/null &&
    cmake --build --preset debug -j"$(nproc)" &&
    ctest --preset debug -j"$(nproc)"
}
job "unit and program tests (sanitizers)" unit

if ((${#failed[@]})); then
  echo "failed: ${failed[*]}"
  exit 1
fi
