#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and UBSan) and runs
# each for a bounded time over the corpus kept in the repo. New inputs go to a
# scratch folder, so the run leaves the repo as it was; a finding is written to
# build-fuzz/findings/ and fails the run.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
source scripts/deps.sh
brv_install clang-14 libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target fuzz_Snapshot fuzz_Script fuzz_Decoders fuzz_Http
mkdir -p build-fuzz/findings
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
run() {
  local target=$1; shift
  mkdir -p "$scratch/$target"
  echo "fuzzing $target for ${seconds}s"
  "build-fuzz/fuzz_$target" "$scratch/$target" "$@" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix=build-fuzz/findings/ -print_final_stats=1 2>"$scratch/$target.log" ||
    { tail -n 40 "$scratch/$target.log"; echo "fuzz_$target found a fault (see build-fuzz/findings/)"; return 1; }
  grep -E '^stat::number_of_executed_units' "$scratch/$target.log" | sed "s/^/  $target /"
}
run Snapshot fuzz/corpus/snapshot samples -dict=fuzz/snapshot.dict
run Script fuzz/corpus/script -dict=fuzz/script.dict
run Decoders tests/data/real/smbios tests/data/real/edid tests/data/real/cpuinfo
run Http fuzz/corpus/http -dict=fuzz/http.dict
