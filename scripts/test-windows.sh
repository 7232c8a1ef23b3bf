#!/usr/bin/env bash
# The Windows build under Wine: cross-builds the control file BRVPartsInf.ocx
# (an in-process server with its type library) with mingw-w64,
# registers it in a fresh Wine prefix on a virtual X display (Xvfb), and runs
# the tests in tests/windows/: the in-process checks, a native container that
# hosts the control in a window (its drawing checked pixel by pixel, on the
# screen too), and the scripts (cscript), against Wine's own instrumentation
# service, against a snapshot, and after unregistration.
# With BRV_SCREENSHOT=FILE it also saves the hosted control showing a category
# (BRV_SCREENSHOT=docs/windows-control.png renews the picture in docs/).
# Exits non-zero when any step or check fails.
set -euo pipefail
cd "$(dirname "$0")/.."
began=$SECONDS
screenshot=
if [[ -n ${BRV_SCREENSHOT-} ]]; then screenshot=$(realpath -m "$BRV_SCREENSHOT"); fi
phase() { echo "== $1 ($((SECONDS - began)) s)"; }

# Wine comes with its recommended libraries (the instrumentation service reads
# the machine through some of them); 64-bit only, no i386 architecture needed.
phase "packages"
source scripts/deps.sh
brv_install g++-mingw-w64-x86-64 wine64-tools
brv_install --with-recommends wine wine64
# The virtual display the control's window is drawn on, and what reads it back.
brv_install xvfb x11-apps imagemagick

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
# The display comes before the prefix's first process: a wine server started
# without one cannot open windows later.
display=
for n in $(seq 90 120); do
  if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=:$n; break; fi
done
[[ -n $display ]] || { echo "no free X display number"; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
wine wineboot -i >/dev/null 2>&1
# Without a window manager, a managed window's every hide or destroy waits
# seconds for one; unmanaged windows do not.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w

dll=$(winepath -w build-windows/BRVPartsInf.ocx)
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
run_script checks.js -- live
run_script live.vbs
if [[ -s $boxes_unix ]]; then
  echo "message boxes shown:"
  sed 's/^/  /' "$boxes_unix"
fi

phase "the control hosted in a window"
# HostTest shows each category, checks its drawing and prints where the
# control's window is on screen; the screen is then read back here, so that a
# window that was not repainted after SetSelectItem is caught: the header's and
# the rows' fill colours, and text (dark pixels) in column 0 of exactly the
# category's rows (Battery Pack has fewer than CPU before it).
btnface=$(wine reg query 'HKCU\Control Panel\Colors' /v ButtonFace 2>/dev/null | tr -d '\r' | awk '/ButtonFace/ {printf "%02X%02X%02X", $3, $4, $5}')
check_screen() {  # FILE LEFT TOP ROWS-WITH-TEXT
  local file=$1 left=$2 top=$3 text_rows=$4 row col want got darkest fails=0
  local grid=${file%.png}-grid.png
  convert "$file" -crop "630x300+$left+$top" +repage "$grid"
  for row in $(seq 0 10); do
    case $row in 0) want=$btnface ;; *) ((row % 2)) && want=F2F5FE || want=CDD4E6 ;; esac
    for col in 0 1; do
      got=$(convert "$grid" -format "%[hex:p{$((col * 315 + 309)),$((row * 27 + 3))}]" info:)
      if [[ -n $want && ${got:0:6} != "$want" ]]; then
        echo "FAIL: screen row $row column $col is $got, expected $want"; fails=$((fails + 1))
      fi
    done
    darkest=$(convert "$grid" -crop "300x21+3+$((row * 27 + 3))" -colorspace Gray -format '%[fx:int(minima*255)]' info:)
    if ((row <= text_rows && darkest >= 100)); then
      echo "FAIL: screen row $row has no text (darkest $darkest)"; fails=$((fails + 1))
    elif ((row > text_rows && darkest < 100)); then
      echo "FAIL: screen row $row should be blank (darkest $darkest)"; fails=$((fails + 1))
    fi
  done
  return $((fails > 0))
}
ack=$(mktemp -d /tmp/brvparts-ack.XXXXXX)
host_log=$ack/host.log
shown=(CPU "Battery Pack" HDD "Network Adapter")
text_rows=(6 3 5 7)
BRVPARTS_HOST_ACK="$(winepath -w "$ack")\\ack" BRVPARTS_SNAPSHOT="$(winepath -w tests/data/windows/fixture.json)" \
  wine build-windows/brvparts_windows_host.exe window "${shown[@]}" >"$host_log" 2>&1 &
host_pid=$!
for n in $(seq ${#shown[@]}); do
  for _ in $(seq 300); do grep -q "^shown $n " "$host_log" 2>/dev/null && break; sleep 0.1; done
  left=
  read -r _ _ left top _ < <(grep "^shown $n " "$host_log" | tr -d '\r') || true
  shot=$ack/screen$n.png
  if [[ -n $left ]] && xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$shot" &&
    check_screen "$shot" "$left" "$top" "${text_rows[n - 1]}"; then
    total_passed=$((total_passed + 1))
  else
    echo "FAIL: the control on screen showing ${shown[n - 1]}"
    total_failed=$((total_failed + 1))
  fi
  if [[ $n -eq ${#shown[@]} && -n $screenshot && -n $left ]]; then
    convert "$shot" -crop "$((630 + 20))x$((300 + 20))+$((left - 10))+$((top - 10))" +repage "$screenshot"
    echo "screenshot: $screenshot"
  fi
  touch "$ack/ack$n"
done
wait "$host_pid" || true
out=$(tr -d '\r' <"$host_log")
printf '%s\n' "$out" | grep -v '^shown '
if [[ $out == *"HostTest: "*", 0 failed"* ]]; then total_passed=$((total_passed + 1)); else echo "FAIL: HostTest window"; total_failed=$((total_failed + 1)); fi
rm -rf "$ack"

phase "tests in other languages"
# A catalogue text as UTF-16 code units in hexadecimal.
utf16() { grep -P "^$2\t" "messages/$1.msg" | cut -f2 | tr -d '\n' | iconv -f UTF-8 -t UTF-16LE | od -An -tx2 | tr -s ' \n' ' '; }
for lang in de ja; do
  locale=${lang}_$(tr '[:lower:]' '[:upper:]' <<<"${lang/ja/jp}").UTF-8
  run_script checks.js LC_ALL="$locale" -- localized "$(utf16 "$lang" 201)" "$(utf16 "$lang" 202)"
  # The header, and a failing category's box, modal to the host's window, in the language.
  run_check HostTest env LC_ALL="$locale" BRVPARTS_SNAPSHOT="$(winepath -w tests/data/windows/fixture.json)" \
    wine build-windows/brvparts_windows_host.exe box "$(utf16 "$lang" 102)" "$(utf16 "$lang" 103)" \
    "$(utf16 "$lang" 201)" "$(utf16 "$lang" 202)"
done

phase "tests against tests/data/windows/fixture.json"
fixture=$(winepath -w tests/data/windows/fixture.json)
run_script checks.js BRVPARTS_SNAPSHOT="$fixture" -- snapshot
run_check HostTest BRVPARTS_SNAPSHOT="$fixture" wine build-windows/brvparts_windows_host.exe snapshot

phase "unregister"
if wine regsvr32 /u /s "$dll"; then
  total_passed=$((total_passed + 1))
else
  echo "FAIL: regsvr32 /u $dll (exit code $?)"
  total_failed=$((total_failed + 1))
fi
run_script checks.js -- unregistered

phase "done"
echo "test-windows: $total_passed passed, $total_failed failed"
[[ $total_failed -eq 0 ]]
