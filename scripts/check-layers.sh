#!/usr/bin/env bash
# Checks that includes run one way: each folder of the system's code may
# include its own headers and those of the folders listed for it below, and
# nothing else. A folder that is not listed is an error too, so that a new one
# gets its place in the table before it gets code.
#
#   scripts/check-layers.sh [ROOT]    check the tree at ROOT (the repository)
#   scripts/check-layers.sh --self-test
#                                     show on a copy that an include running up
#                                     or across is caught, and that the tree as
#                                     it is passes
set -uo pipefail

# The layers, lowest first. Shared types and helpers; the platform's interfaces
# (grid, message box, object creation, instrumentation service) and the table
# of instrumentation classes; the control's shared state and messages; the
# collectors; the category tables; the control.
declare -A allowed=(
  [common]=""
  [platform]="common"
  [module]="common platform"
  [inventory]="common platform module"
  [table]="common platform module inventory"
  [control]="common platform module inventory table"
  # Beside the control: the grid, string provider and class table the builds
  # ship, and the instrumentation's sources: decoders of firmware bytes and id
  # lists, the class source, snapshots, and each system's live machine.
  [platform/grid]="common platform"
  [platform/strings]="common platform"
  [platform/automation]="common platform"
  [instrumentation/decoders]="common"
  [instrumentation]="common platform"
  [instrumentation/snapshot]="common platform instrumentation"
  [instrumentation/linux]="common platform instrumentation instrumentation/decoders"
  # Each system's pieces of the platform's interfaces (object creation, the
  # message box).
  [platform/linux]="common platform platform/grid platform/strings platform/automation"
  [platform/windows]="common platform platform/grid platform/strings platform/automation"
  # Above the platform and the instrumentation: the binding of the platform's
  # instrumentation service to each system's sources.
  [bindings/linux]="common platform instrumentation"
  [bindings/windows]="common platform platform/windows instrumentation instrumentation/snapshot"
  # The containers, which host the control: what the terminal and the page
  # share (nothing in it is bound to one system), each of them, and the COM host.
  [containers/common]="common platform module inventory control platform/grid platform/strings instrumentation instrumentation/snapshot"
  [containers/cli]="common platform module inventory control platform/grid platform/strings instrumentation instrumentation/snapshot containers/common"
  [containers/web]="common platform module control platform/grid platform/strings instrumentation instrumentation/snapshot containers/common"
  # The report to an inventory server takes the terminal's whole inventory.
  [containers/send]="common platform module inventory control platform/grid platform/strings instrumentation instrumentation/snapshot containers/common"
  [containers/windows]="common platform module control platform/grid platform/strings platform/automation instrumentation instrumentation/snapshot platform/windows"
)
# Folders outside the system's code, free to include anything.
free='^(tests|fuzz|bench)(/|$)'

check() {
  local root=$1 bad=0 file dir target line
  cd "$root" || return 2
  while IFS= read -r file; do
    file=${file#./}
    dir=$(dirname "$file")
    [[ $dir =~ $free ]] && continue
    if [[ -z ${allowed[$dir]+set} ]]; then
      echo "$file: the folder $dir has no place in the layers (scripts/check-layers.sh)"
      bad=1
      continue
    fi
    while IFS= read -r line; do
      target=${line#*\"}
      target=$(dirname "${target%%\"*}")
      [[ $target == "$dir" || $target == . ]] && continue
      if [[ " ${allowed[$dir]} " != *" $target "* ]]; then
        echo "$file: includes ${line#*#include } from $target, which $dir may not use"
        bad=1
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
  done < <(find . \( -name node_modules -o -name 'build*' -o -name .git \) -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -type f -print | sort)
  return $bad
}

self_test() {
  local here scratch status=0
  here=$(cd "$(dirname "$0")/.." && pwd)
  scratch=$(mktemp -d) || return 2
  trap 'rm -rf "$scratch"' RETURN
  if ! check "$here" >/dev/null; then
    echo "self-test: the tree as it is fails the check"
    return 1
  fi
  # Each case: a file, an include added to it, and whether the check must refuse it.
  local cases=(
    "inventory/Battery.cpp|control/BRVPartsCtl.h|refuse"
    "module/ModuleState.cpp|inventory/QueryFrame.h|refuse"
    "platform/grid/MemoryGrid.cpp|platform/strings/Resources.h|refuse"
    "containers/common/SourceChoice.cpp|instrumentation/linux/LiveSource.h|refuse"
    "instrumentation/decoders/Edid.cpp|platform/Grid.h|refuse"
    "control/BRVPartsCtl.cpp|table/Layout.h|accept"
  )
  local c file header want
  for c in "${cases[@]}"; do
    IFS='|' read -r file header want <<<"$c"
    rm -rf "${scratch:?}"/*
    (cd "$here" && git ls-files -z '*.cpp' '*.h' | xargs -0 cp --parents -t "$scratch")
    printf '#include "%s"\n' "$header" >>"$scratch/$file"
    if check "$scratch" >/dev/null; then got=accept; else got=refuse; fi
    if [[ $got != "$want" ]]; then
      echo "self-test: $file including $header: expected the check to $want it, it did $got"
      status=1
    fi
  done
  ((status == 0)) && echo "self-test: upward and across includes are refused, the tree passes"
  return $status
}

if [[ ${1:-} == --self-test ]]; then
  self_test
else
  check "${1:-$(dirname "$0")/..}"
fi
