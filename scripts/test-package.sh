#!/usr/bin/env bash
# Builds the Debian package from a release build of its own (build-package),
# unpacks it into a scratch root with dpkg -x, and checks what a user gets: the
# files, the installed program over the sample laptop (finding its catalogues in
# the installed layout), --version, the manual pages, the completion in bash, zsh
# and fish, and the dependencies the package declares. Ends with
# "test-package: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh || exit 1
set +e  # every check runs; the count says which failed
# dpkg-shlibdeps finds the libraries' packages; man-db reads the manual pages,
# zsh and fish try their completion.
brv_install dpkg-dev man-db zsh fish || exit 1

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
pages=(brvparts brvparts-capture brvparts-diff brvparts-serve brvparts-send)
files=(usr/bin/brvparts usr/bin/brvparts-serve usr/bin/brvparts-send
  usr/share/bash-completion/completions/brvparts usr/share/zsh/vendor-completions/_brvparts
  usr/share/fish/vendor_completions.d/brvparts.fish
  usr/lib/systemd/system/brvparts-send.service usr/lib/systemd/system/brvparts-send.timer etc/default/brvparts)
for page in "${pages[@]}"; do files+=("usr/share/man/man1/$page.1.gz"); done
for catalogue in messages/*.msg; do files+=("usr/share/brvparts/messages/${catalogue#messages/}"); done
for f in "${files[@]}"; do check "the package holds /$f" test -s "$root/$f"; done

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

# The manual pages: man reads each without a warning, each has the sections
# of Debian's pages, and each describes every option its program's --help names.
sections=(NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES "SEE ALSO")
man_page() { LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$root/usr/share/man/man1/$1.1.gz" 2>/dev/null; }
for page in "${pages[@]}"; do
  check "man $page reads without a warning" bash -c "! LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l \
    '$root/usr/share/man/man1/$page.1.gz' 2>&1 >/dev/null | grep -q ."
  headings=$(man_page "$page" | grep -E '^[A-Z][A-Z ]+$')
  check "man $page has the sections ${sections[*]}" same "$(grep -xFf <(printf '%s\n' "${sections[@]}") <<<"$headings")" \
    "$(printf '%s\n' "${sections[@]}")"
done
while read -r page command; do
  # The options at the start of --help's lines, against the page's source.
  options=$(run C $command --help | grep -oE '^ +(-[a-zA-Z],)?--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+')
  text=$(zcat "$root/usr/share/man/man1/$page.1.gz" | sed 's/\\-/-/g')
  for option in $options; do
    check "man $page describes $command $option" grep -qF -- "$option" <<<"$text"
  done
done <<'PAGES'
brvparts brvparts
brvparts-capture brvparts capture
brvparts-diff brvparts diff
brvparts-serve brvparts serve
brvparts-serve brvparts-serve
brvparts-send brvparts-send
PAGES
check "man brvparts says what running with no argument does" grep -q "Run with no argument, it shows every part" \
  <<<"$(zcat "$root/usr/share/man/man1/brvparts.1.gz")"

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

# Completion in bash, zsh and fish: the categories as the control names them, in
# any case, the subcommands, the options, and an instance after a category.
complete_bash() {  # complete_bash WORD...: what bash's completion offers for the last word
  (
    source "$root/usr/share/bash-completion/completions/brvparts"
    PATH=$root/usr/bin:$PATH
    COMP_WORDS=(brvparts "$@")
    COMP_CWORD=$#
    _brvparts
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}"
  ) 2>/dev/null | sed 's/\\//g'
}
complete_fish() {  # complete_fish LINE
  fish -N -c "source '$root/usr/share/fish/vendor_completions.d/brvparts.fish'; complete -C \"\$argv[1]\"" "$1" | cut -f1
}
# zsh completes only at its line editor: an interactive zsh on a pseudo-terminal
# is given the line and a Tab, and every match its completion adds is recorded.
complete_zsh() {  # complete_zsh LINE
  timeout 60 zsh -f -c '
    zmodload zsh/zpty || exit 1
    out=$(mktemp) all=
    await() {  # reads the shell until it shows $1 (up to 30 s)
      local chunk i
      for i in {1..600}; do
        while zpty -r -t z chunk; do all+=$chunk; done
        [[ $all == *$1* ]] && return 0
        sleep 0.05
      done
      exit 1
    }
    zpty z zsh -f -i
    # The prompt, and the marker that ends a line, differ from the lines as echoed.
    zpty -w z "bindkey -e; PS1=\"RE\"\"ADY> \"; fpath=(${(q)1} \$fpath); autoload -U compinit; compinit -u -D"
    zpty -w z "compadd() { local -a m; builtin compadd -O m \"\$@\"; print -rl -- \$m >>${(q)out}; builtin compadd \"\$@\"; }"
    await "READY> "
    zpty -w -n z "$2"$'\''\t'\''
    zpty -w z $'\''\C-u'\''"print -r -- DO\"\"NE"
    await DONE
    zpty -d z
    grep -v "^$" $out
    rm -f $out' zsh "$root/usr/share/zsh/vendor-completions" "$1"
}
count=$(sed -n 's/.*kCategoryCount = \([0-9]*\);.*/\1/p' common/Category.h)
check "bash completion offers every category and the subcommands" \
  same "$(complete_bash '' | wc -l)" "$((count + 4))"  # capture, diff, serve, send
for shell in zsh fish; do
  check "$shell completion offers every category and the subcommands" \
    same "$(complete_$shell 'brvparts ' | sort -u | wc -l)" "$((count + 4))"
done
while IFS='|' read -r words expected; do
  if [[ $words == *" ''" ]]; then
    read -ra args <<<"${words% \'\'}"
    args+=("")
  else
    read -ra args <<<"$words"
  fi
  check "bash completion of '$words'" same "$(complete_bash "${args[@]}" | sort | tr '\n' ' ')" "$expected"
  [[ $words == \"* ]] && continue  # an open quote: bash's own
  line="brvparts ${args[*]}"
  [[ $words == *" ''" ]] && line+=" "
  for shell in zsh fish; do
    check "$shell completion of '$words'" same "$(complete_$shell "$line" | sort -u | tr '\n' ' ')" "$expected"
  done
done <<'TABLE'
net|Network Adapter 
cd|CD,DVD 
"net|Network Adapter 
BATT|Battery Pack 
--snapshot x.json me|Memory 
CPU ''|all 
capture --o|--output 
diff --a|--all 
diff READ|README.md 
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
