#!/usr/bin/env bash
# The editor's Windows dialogs under Wine, on a virtual X screen (Xvfb), in
# a fresh Wine prefix where twnt.exe -install has written the agent's
# settings and registered its service:
#   - twntcfg_dialog_tests.exe opens the real dialogs in its own process and
#     works their controls by identifier (loads, edits and saves settings,
#     checks, the service button, the WMI test editor, twntcfg.exe -v);
#   - what it saved is read back here with reg query;
#   - screenshots of the main dialog and of "New WMI Test" are left as PNG
#     files in <build>/screenshots for a look.
# Every Wine call is bounded in time; the prefix, its wineserver and the X
# server are gone at the end. Prints "windows-editor-test: N passed, ..." last.
#
#   scripts/windows-editor-test.sh [BUILD_DIR]      (default build/windows)
# TW_E2E_KEEP=1 keeps the prefix for a look afterwards.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
tests=$build/twntcfg_dialog_tests.exe
for f in "$tests" "$build/twnt.exe" "$build/twntcfg.exe"; do
  [ -f "$f" ] || { echo "windows-editor-test: $f not found (cmake --build --preset windows)"; exit 1; }
done
command -v Xvfb >/dev/null || { echo "windows-editor-test: Xvfb missing (scripts/install-windows-deps.sh)"; exit 1; }

prefix=$(mktemp -d /tmp/twntcfg-wine.XXXXXX)
work=$(mktemp -d /tmp/twntcfg-test.XXXXXX)
shots=$build/screenshots
mkdir -p "$shots"
rm -f "$shots"/*.png
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
tests_pid=""

cleanup() {
  [ -n "$tests_pid" ] && kill "$tests_pid" 2>/dev/null
  timeout 30 wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  if [ "${TW_E2E_KEEP:-0}" = 1 ]; then
    echo "windows-editor-test: kept $prefix and $work"
  else
    rm -rf "$prefix" "$work"
  fi
}
trap cleanup EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; [ $# -gt 1 ] && printf '%s\n' "$2" | sed 's/^/      /'; }
w() { timeout -k 5 "${T:-60}" wine "$@"; }

# ---- the screen and the prefix -------------------------------------------------
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
display=":$(head -n1 "$work/display")"

# Wine's desktop takes the screen of the first program of the prefix.
export DISPLAY=$display
timeout 180 wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
timeout 60 wineserver -w
# One wineserver and one service manager for all the calls below (see
# windows-e2e.sh).
wineserver -p
timeout 120 wineboot </dev/null >/dev/null 2>&1
# Wine draws the windows' frames and captions itself: there is no window
# manager on the virtual screen.
w reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
w reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

# ---- the agent, installed --------------------------------------------------------
port=19877
dir="$prefix/drive_c/Program Files/Tallwatch"
mkdir -p "$dir"
cp "$build/twnt.exe" "$build/twntcfg.exe" "$dir/"
key='HKLM\SOFTWARE\Orvane Software\Tallwatch\twnt'
setting() { w reg query "$key\\$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'; }
out=$(cd "$dir" && w twnt.exe -install 127.0.0.1 N "$port" 2>&1)
if [ "$(setting IPport)" = "$port" ] && [ "$(setting Timer)" = 300 ]; then
  pass "twnt.exe -install wrote the agent's settings"
else
  fail "twnt.exe -install wrote the agent's settings" "$out"
fi

# ---- the dialog tests, with the screenshots they ask for -------------------------
# A test that wants a picture writes NAME.ready (holding the window's
# caption) and waits for NAME.done.
cp "$tests" "$work/"
mkdir -p "$work/shots"
(cd "$work" && TWNTCFG_TEST_PORT=$port \
   TWNTCFG_EXE='C:\Program Files\Tallwatch\twntcfg.exe' TWNTCFG_SCREENSHOTS='Z:'"${work//\//\\}"'\shots' \
   timeout -k 10 600 wine twntcfg_dialog_tests.exe --gtest_brief=1 >"$work/tests.out" 2>&1) &
tests_pid=$!
while kill -0 "$tests_pid" 2>/dev/null; do
  for ready in "$work"/shots/*.ready; do
    [ -f "$ready" ] || continue
    name=$(basename "$ready" .ready)
    caption=$(tr -d '\r\n' <"$ready")
    rm -f "$ready"
    timeout 30 import -display "$display" -window "$caption" "$shots/$name.png" 2>"$work/import.log" ||
      cat "$work/import.log"
    touch "$work/shots/$name.done"
  done
  sleep 0.2
done
wait "$tests_pid"
rc=$?
tests_pid=""
# (Wine's note about the Z: drive, which maps /, is noise here.)
grep -v "Read access denied for device" "$work/tests.out"
if [ $rc -eq 0 ]; then
  pass "the dialog tests"
else
  fail "the dialog tests (exit $rc)"
fi

# ---- what the dialogs saved ---------------------------------------------------------
got="Timer=$(setting Timer) AliasName=$(setting AliasName) FQDN=$(setting FQDN) TWDISPLAY=$(setting TWDISPLAY)"
got+=" Defaults=$(setting Defaults) Tests=$(setting Tests)"
want="Timer=120 AliasName=WEBFARM1 FQDN=Y TWDISPLAY=10.0.0.9;127.0.0.1"
want+=" Defaults=CPU:70:95 DISK:90:95 PAGEFILE:80:90"
want+=" Tests=procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P netdata:T wmitest:D"
if [ "$got" = "$want" ]; then
  pass "the saved settings are in the registry"
else
  fail "the saved settings are in the registry" "got:  $got
want: $want"
fi

for name in main newwmitest; do
  if [ -s "$shots/$name.png" ]; then
    pass "screenshot $shots/$name.png"
  else
    fail "screenshot $shots/$name.png"
  fi
done

echo "windows-editor-test: $passed passed, $failed failed"
[ $failed -eq 0 ]
