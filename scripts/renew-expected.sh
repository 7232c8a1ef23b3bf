#!/bin/sh
# Renews the expected answers of the captured machine trees: for each tree NAME
# under tests/data/sysroot (every tree when none is named), writes what the
# program captures from it to tests/data/sysroot/NAME.json. Review the diff
# before committing it: the file is what the tests hold the live source to.
#
#   scripts/renew-expected.sh [NAME...]
#
# Uses build/brvparts, or the program named by $BRVPARTS.
set -eu
cd "$(dirname "$0")/.."
program=${BRVPARTS:-build/brvparts}
if [ ! -x "$program" ]; then
  echo "renew-expected: $program not found; build it first (cmake --build build) or set BRVPARTS" >&2
  exit 2
fi
if [ $# -eq 0 ]; then
  for dir in tests/data/sysroot/*/; do
    set -- "$@" "$(basename "$dir")"
  done
fi
for name in "$@"; do
  tree=tests/data/sysroot/$name
  if [ ! -d "$tree" ]; then
    echo "renew-expected: $tree is not a tree" >&2
    exit 2
  fi
  "$program" --sysroot "$tree" capture -o "$tree.json"
  # Where and when the capture was taken is no answer of the tree, and the time
  # would change the file at every renewal.
  sed -i '/^  "captured": {$/,/^  },$/d' "$tree.json"
  chmod 644 "$tree.json"
  echo "$tree.json"
done
