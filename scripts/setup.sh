#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the program (build/brvparts) and shows
# the whole inventory of the sample laptop snapshot.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
./build/brvparts
