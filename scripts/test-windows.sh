#!/usr/bin/env bash
# The Windows build under Wine: cross-builds BRVPartsInf.dll with mingw-w64,
# registers it in a fresh Wine prefix, and runs the script tests in
# tests/windows/ with the script host (cscript): against Wine's own
# instrumentation service, against a snapshot, and after unregistration.
# Exits non-zero when any step or check fails.
set -euo pipefail
cd "$(dirname "$0")/.."
began=$SECONDS
phase() { echo "== $1 ($((SECONDS - began)) s)"; }

# Wine comes with its recommended libraries (the instrumentation service reads
# the machine through some of them); 64-bit only, no i386 architecture needed.
phase "packages"
source scripts/deps.sh
brv_install g++-mingw-w64-x86-64
brv_install --with-recommends wine wine64

# Wine keeps Windows file names on the Unix side in the locale's character
# set: in the POSIX locale a folder named "Größe テスト" cannot even be created
# (the tests make one). C.UTF-8 is on every Debian system.
if [[ $(locale charmap 2>/dev/null) != UTF-8 ]]; then
  echo "the locale's character set is not UTF-8: Wine runs with LC_ALL=C.UTF-8"
  export LC_ALL=C.UTF-8
fi

phase "cross-build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2

phase "Wine prefix"
WINEPREFIX=$(mktemp -d /tmp/brvparts-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko: nothing here needs them, and they cannot be downloaded.
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wine wineboot -i >/dev/null 2>&1

dll=$(winepath -w build-windows/BRVPartsInf.dll)
boxes_unix="$WINEPREFIX/drive_c/brvparts-boxes.log"
boxes=$(winepath -w "$boxes_unix")
total_passed=0
total_failed=0

# Runs one test under Wine; it must exit 0 and report "NAME: N passed, 0 failed"
# (the script host exits 0 on a script it could not run, so the line is
# required too). Arguments: NAME, then VAR=value settings, then the command.
run_check() {
  local name=$1; shift
  local out rc=0
  out=$(env BRVPARTS_MSGBOX_LOG="$boxes" "$@" 2>&1) || rc=$?
  out=${out//$'\r'/}  # Windows programs end their lines with CR LF
  printf '%s\n' "$out"
  local summary
  summary=$(printf '%s\n' "$out" | grep -E "^$name: [0-9]+ passed, [0-9]+ failed$" | tail -1 || true)
  if [[ $rc -ne 0 || -z $summary || $summary != *", 0 failed" ]]; then
    echo "FAIL: $name (exit code $rc)"
    total_failed=$((total_failed + 1))
  else
    total_passed=$((total_passed + 1))
  fi
}
# A script in tests/windows/: NAME [VAR=value...] [-- script arguments...].
run_script() {
  local name=$1; shift
  local settings=()
  while (($#)) && [[ $1 != -- ]]; do settings+=("$1"); shift; done
  (($#)) && shift
  run_check "$name" "${settings[@]}" wine cscript //nologo "$(winepath -w "tests/windows/$name")" "$@"
}

phase "register"
if wine regsvr32 /s "$dll"; then
  total_passed=$((total_passed + 1))
else
  echo "FAIL: regsvr32 $dll (exit code $?)"
  exit 1
fi

phase "tests against Wine's instrumentation service"
run_check ComServerTest wine build-windows/brvparts_windows_tests.exe
run_check HostTest wine build-windows/brvparts_windows_host.exe live
run_script live.js
run_script live.vbs
if [[ -s $boxes_unix ]]; then
  echo "message boxes shown:"
  sed 's/^/  /' "$boxes_unix"
fi

phase "tests in other languages"
# A catalogue text as UTF-16 code units in hexadecimal.
utf16() { grep -P "^$2\t" "messages/$1.msg" | cut -f2 | tr -d '\n' | iconv -f UTF-8 -t UTF-16LE | od -An -tx2 | tr -s ' \n' ' '; }
for lang in de ja; do
  locale=${lang}_$(tr '[:lower:]' '[:upper:]' <<<"${lang/ja/jp}").UTF-8
  run_script localized.js LC_ALL="$locale" -- "$(utf16 "$lang" 201)" "$(utf16 "$lang" 202)"
  run_check HostTest env LC_ALL="$locale" wine build-windows/brvparts_windows_host.exe header \
    "$(utf16 "$lang" 201)" "$(utf16 "$lang" 202)"
done

phase "tests against tests/windows/fixture.json"
fixture=$(winepath -w tests/windows/fixture.json)
run_script snapshot.js BRVPARTS_SNAPSHOT="$fixture"
run_check HostTest BRVPARTS_SNAPSHOT="$fixture" wine build-windows/brvparts_windows_host.exe snapshot

phase "unregister"
if wine regsvr32 /u /s "$dll"; then
  total_passed=$((total_passed + 1))
else
  echo "FAIL: regsvr32 /u $dll (exit code $?)"
  total_failed=$((total_failed + 1))
fi
run_script unregistered.js

phase "done"
echo "test-windows: $total_passed passed, $total_failed failed"
[[ $total_failed -eq 0 ]]
