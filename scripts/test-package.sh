#!/usr/bin/env bash
# Builds the Debian package from a release build of its own (build-package),
# unpacks it into a scratch root with dpkg -x, and checks what a user gets: the
# files, the installed program over the sample laptop (finding its catalogues in
# the installed layout), --version, the bash completion, and the dependencies the
# package declares. Ends with "test-package: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh || exit 1
set +e  # every check runs; the count says which failed
# dpkg-shlibdeps finds the libraries' packages; help2man makes the manual pages.
brv_install dpkg-dev help2man || exit 1

build=${BRV_PACKAGE_BUILD:-build-package}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRV_TESTS=OFF >/dev/null &&
  cmake --build "$build" -j"$(nproc)" >/dev/null &&
  (cd "$build" && cpack -G DEB >/dev/null) || {
  echo "test-package: the package could not be built"
  exit 1
}

version=$(sed -n 's/^project(BRVPartsInf VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$build/brvparts_${version}_$(dpkg --print-architecture).deb
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

passed=0 failed=0
check() {  # check WHAT COMMAND...: counts the command's outcome, names a failure
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAIL: $what"
    failed=$((failed + 1))
  fi
}
same() {  # same GOT EXPECTED: equal, else the difference (expected < >got)
  [[ $1 == "$2" ]] || { diff <(printf '%s\n' "$2") <(printf '%s\n' "$1") | head -20; false; }
}

check "package file $deb" test -f "$deb"
dpkg -x "$deb" "$root" 2>/dev/null

# What the package holds.
files=(usr/bin/brvparts usr/bin/brvparts-serve usr/bin/brvparts-send usr/share/man/man1/brvparts.1.gz
  usr/share/man/man1/brvparts-serve.1.gz usr/share/man/man1/brvparts-send.1.gz
  usr/share/bash-completion/completions/brvparts
  usr/lib/systemd/system/brvparts-send.service usr/lib/systemd/system/brvparts-send.timer etc/default/brvparts)
for catalogue in messages/*.msg; do files+=("usr/share/brvparts/messages/${catalogue#messages/}"); done
for f in "${files[@]}"; do check "the package holds /$f" test -s "$root/$f"; done
check "the manual page describes the options" bash -c "zcat '$root/usr/share/man/man1/brvparts.1.gz' | grep -qF -- '\\-\\-snapshot'"

# The installed program, with nothing of the source tree to lean on.
run() {  # run LOCALE PROGRAM ARGS...: an installed program, in an empty environment
  local locale=$1 program=$root/usr/bin/$2
  shift 2
  (cd / && env -i PATH=/usr/bin:/bin LC_ALL="$locale" "$program" "$@")
}
check "the sample laptop in English" same "$(run C brvparts --snapshot "$PWD/samples/laptop.json")" \
  "$(cat tests/data/expected/laptop.en.txt)"
# Only the installed catalogues can give the Japanese texts.
check "the sample laptop in Japanese, from the installed catalogues" same \
  "$(run ja_JP.UTF-8 brvparts --snapshot "$PWD/samples/laptop.json")" "$(cat tests/data/expected/laptop.ja.txt)"
check "brvparts --version" same "$(run C brvparts --version)" "brvparts $version"
check "brvparts-serve --version" same "$(run C brvparts-serve --version)" \
  "brvparts-serve $version"
check "brvparts-send --version" same "$(run C brvparts-send --version)" "brvparts-send $version"
# The installed program makes the report of the sample laptop (sending nothing).
check "brvparts send --xml, installed" bash -c "(cd / && env -i PATH=/usr/bin:/bin LC_ALL=C '$root/usr/bin/brvparts' \
  send --xml --state-dir '$root/state' --snapshot '$PWD/samples/laptop.json') | grep -q '<SERIALNUMBER>S3TNNX0K812345<'"

# The daily report: off until enabled, nothing to do until a server is named.
unit=$root/usr/lib/systemd/system
check "the timer is daily with a random delay" bash -c "grep -qx 'OnCalendar=daily' '$unit/brvparts-send.timer' &&
  grep -q '^RandomizedDelaySec=' '$unit/brvparts-send.timer'"
check "the service reads /etc/default/brvparts and runs brvparts send" bash -c \
  "grep -qx 'EnvironmentFile=-/etc/default/brvparts' '$unit/brvparts-send.service' &&
   grep -q '^ExecStart=.*/usr/bin/brvparts send' '$unit/brvparts-send.service'"
check "the package enables nothing (no maintainer scripts)" bash -c \
  "! dpkg-deb -I '$deb' postinst >/dev/null 2>&1"
check "/etc/default/brvparts names no server and is a conffile" bash -c \
  "grep -qx 'BRVPARTS_SERVER=' '$root/etc/default/brvparts' && dpkg-deb -I '$deb' conffiles | grep -qx /etc/default/brvparts"
if command -v systemd-analyze >/dev/null; then
  check "systemd-analyze verifies the units" systemd-analyze verify --man=no "$unit/brvparts-send.timer" "$unit/brvparts-send.service"
fi

# Completion: the categories as the control names them, in any case, and the options.
complete_words() {  # complete_words WORD...: what the completion offers for the last word
  (
    source "$root/usr/share/bash-completion/completions/brvparts"
    PATH=$root/usr/bin:$PATH
    COMP_WORDS=(brvparts "$@")
    COMP_CWORD=$#
    _brvparts
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}"
  ) 2>/dev/null
}
count=$(sed -n 's/.*kCategoryCount = \([0-9]*\);.*/\1/p' common/Category.h)
check "completion offers every category and the subcommands" \
  same "$(complete_words '' | wc -l)" "$((count + 4))"  # capture, diff, serve, send
while IFS='|' read -r words expected; do
  if [[ $words == *" ''" ]]; then
    read -ra args <<<"${words% \'\'}"
    args+=("")
  else
    read -ra args <<<"$words"
  fi
  check "completion of '$words'" same "$(complete_words "${args[@]}" | sort | tr '\n' ' ')" "$expected"
done <<'TABLE'
net|Network\ Adapter 
cd|CD\,DVD 
"net|Network Adapter 
BATT|Battery\ Pack 
--snapshot x.json me|Memory 
CPU ''|
capture --o|--output 
diff --a|--all 
diff samples/lap|samples/laptop.json 
--vers|--version 
--sn|--snapshot 
--color a|always auto 
--color never me|Memory 
TABLE

# The declared dependencies: hwdata for the names, and the C library found by dpkg-shlibdeps.
depends=$(dpkg-deb -f "$deb" Depends 2>/dev/null)
check "the package depends on hwdata (Depends: $depends)" grep -qw hwdata <<<"$depends"
check "the package depends on libc6 (Depends: $depends)" grep -qw libc6 <<<"$depends"
check "the package depends on libcurl (Depends: $depends)" grep -qw 'libcurl4' <<<"$depends"
check "the package depends on libmicrohttpd (Depends: $depends)" grep -qw 'libmicrohttpd12' <<<"$depends"

echo "test-package: $passed passed, $failed failed"
((failed == 0))
