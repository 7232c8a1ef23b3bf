#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the program (build/brvparts) and shows
# the inventory of the sample laptop snapshot, then this machine's own.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
printf '\n== The sample laptop (samples/laptop.json) ==\n\n'
./build/brvparts --snapshot samples/laptop.json
printf '\n== This machine ==\n\n'
./build/brvparts
