#!/usr/bin/env bash
# The code's style and the checks that find bugs:
# - every C++ file as .clang-format lays it out (clang-format prints the
#   difference when one is not);
# - clang-tidy's bug-finding checks (.clang-tidy) over the system's code, from
#   the compile commands of a configure-only build folder (build-lint).
#
#   scripts/lint.sh            both
#   scripts/lint.sh --format   only the layout, and rewrite the files that differ
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh || exit 1
brv_install clang-format clang-tidy

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [[ ${1:-} == --format ]]; then
  clang-format -i "${sources[@]}"
  exit 0
fi

status=0
unformatted=()
for f in "${sources[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if ((${#unformatted[@]})); then
  for f in "${unformatted[@]}"; do clang-format "$f" | diff -u "$f" - | head -20; done
  echo "lint: ${#unformatted[@]} files differ from .clang-format (scripts/lint.sh --format rewrites them)"
  status=1
fi

# The Linux build's code; the tests, fuzz targets and benchmarks are left out.
cmake -S . -B build-lint -DCMAKE_BUILD_TYPE=Release -DBRV_TESTS=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null || exit 1
# Sources the build generates (the page's embedded files) must exist for the
# files that include them.
cmake --build build-lint --target brvparts_generated >/dev/null 2>&1 || true
mapfile -t code < <(git ls-files '*.cpp' | grep -Ev '^(tests|fuzz|bench)/|/windows/')
if ! run-clang-tidy -quiet -p build-lint -j"$(nproc)" -extra-arg=-Wno-unknown-warning-option "${code[@]/#/$PWD/}" \
  >build-lint/tidy.log 2>&1; then
  grep -E 'warning:|error:' build-lint/tidy.log | sort -u | head -60
  echo "lint: clang-tidy found problems (all of them in build-lint/tidy.log)"
  status=1
fi
((status == 0)) && echo "lint: ${#sources[@]} files laid out as .clang-format says; clang-tidy found nothing in ${#code[@]} files"
exit $status
