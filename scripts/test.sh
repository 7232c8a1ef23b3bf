#!/usr/bin/env bash
# Builds the sanitizer build (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug -j"$(nproc)"
ctest --preset debug -j"$(nproc)"
