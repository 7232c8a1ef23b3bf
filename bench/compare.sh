#!/usr/bin/env bash
# Times the whole program (every category, every instance, text output) side by
# side with the tools a Linux user runs for the same facts: several runs each,
# the median wall time and peak memory, and the ratio to brvparts.
#   bench/compare.sh [RUNS]   (default 21; installs the tools it compares with)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-21}
want=(time lshw hwinfo inxi util-linux iproute2)
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ -x build/brvparts ] || { cmake --preset release >/dev/null && cmake --build --preset release -j"$(nproc)" >/dev/null; }

scratch=$(mktemp)
trap 'rm -f "$scratch"' EXIT
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# One line: name, median milliseconds, median peak KB.
measure() {
  local name=$1; shift
  command -v "$1" >/dev/null 2>&1 || [ -x "$1" ] || return 0
  local times=() mems=() i out
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -o "$scratch" -f '%e %M' "$@" >/dev/null 2>&1 || true
    out=$(tail -n 1 "$scratch")
    times+=("$(awk '{printf "%.1f", $1 * 1000}' <<<"$out")")
    mems+=("$(awk '{print $2}' <<<"$out")")
  done
  printf '%s\t%s\t%s\n' "$name" "$(printf '%s\n' "${times[@]}" | median)" "$(printf '%s\n' "${mems[@]}" | median)"
}

# /usr/bin/time counts in centiseconds: for the fast commands, time a batch instead.
measure_batch() {
  local name=$1; shift
  command -v "$1" >/dev/null 2>&1 || [ -x "$1" ] || return 0
  local batch=50 samples=() i start end peak
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    for ((k = 0; k < batch; k++)); do "$@" >/dev/null 2>&1 || true; done
    end=$(date +%s%N)
    samples+=("$(( (end - start) / batch / 1000 ))")
  done
  /usr/bin/time -o "$scratch" -f '%M' "$@" >/dev/null 2>&1 || true
  peak=$(tail -n 1 "$scratch")
  printf '%s\t%s\t%s\n' "$name" "$(printf '%s\n' "${samples[@]}" | median | awk '{printf "%.2f", $1 / 1000}')" "$peak"
}

{
  measure_batch "brvparts (whole inventory)" build/brvparts
  measure_batch "lscpu -J" lscpu -J
  measure_batch "lsblk -J -O" lsblk -J -O
  measure_batch "ip -j addr" ip -j addr
  measure "lshw -json" lshw -json
  measure "hwinfo" hwinfo
  measure "inxi -F" inxi -F
} >/tmp/brvparts-compare.$$

base=$(awk -F'\t' 'NR==1 {print $2}' /tmp/brvparts-compare.$$)
printf '| command | median time (ms) | peak memory (KB) | time / brvparts |\n|---|---:|---:|---:|\n'
awk -F'\t' -v base="$base" '{printf "| `%s` | %s | %s | %.1f |\n", $1, $2, $3, $2 / base}' /tmp/brvparts-compare.$$
rm -f /tmp/brvparts-compare.$$
