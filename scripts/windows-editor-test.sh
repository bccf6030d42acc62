#!/usr/bin/env bash
# The editor's Windows dialogs under Wine, on a virtual X screen (Xvfb), in
# a fresh Wine prefix where twnt.exe -install has written the agent's
# settings and registered its service:
#   - twntcfg_dialog_tests.exe opens the real dialogs in its own process and
#     works their controls by identifier: loads, edits and saves settings,
#     failed checks, the service button, the WMI test editor, the registry
#     paths, twntcfg.exe -v;
#   - what the dialogs saved is read back here with reg query;
#   - screenshots of the main dialog and of "New WMI Test" are left as PNG
#     files in BUILD_DIR/screenshots for a look.
# Every Wine call is bounded in time; the prefix, its wineserver and the X
# server are gone at the end. Prints "windows-editor-test: N passed, ..."
# last and fails when a check failed. CTest runs it as wine.editor_dialogs.
#
#   scripts/windows-editor-test.sh [BUILD_DIR]      (default build/windows)
# TW_WINEARCH=win64 runs the dialogs on 64-bit Wine (wine64 installed), where
# the agent's settings lie under Wow6432Node; TW_WINE_BITS=64 says that
# BUILD_DIR holds the 64-bit build (scripts/lib/wine.sh), which runs on
# 64-bit Wine only. TW_E2E_KEEP=1 keeps the prefix.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
. "$root/scripts/lib/checks.sh"
if [ "${TW_WINE_BITS:-32}" = 64 ] && [ "$TW_WINEARCH" = win32 ]; then
  echo "windows-editor-test: SKIP: the dialogs on 32-bit Windows need the 32-bit build; a 32-bit"
  echo "  Wine prefix runs 32-bit programs only, and $build holds the 64-bit build"
  exit 77
fi

for f in twntcfg_dialog_tests.exe twnt.exe twntcfg.exe; do
  [ -f "$build/$f" ] || { echo "windows-editor-test: $build/$f not found (cmake --build --preset windows)"; exit 1; }
done
command -v Xvfb >/dev/null && command -v import >/dev/null ||
  { echo "windows-editor-test: Xvfb or ImageMagick missing (scripts/install-windows-deps.sh)"; exit 1; }

prefix=$(mktemp -d /tmp/twntcfg-wine.XXXXXX)
work=$(mktemp -d /tmp/twntcfg-test.XXXXXX)
shots=$build/screenshots${TW_WINEARCH:+-$TW_WINEARCH}
mkdir -p "$shots" "$work/shots"
rm -f "$shots"/*.png
xvfb_pid=""
tests_pid=""

cleanup() {
  [ -n "$tests_pid" ] && kill "$tests_pid" 2>/dev/null
  wine_prefix_down
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  if [ "${TW_E2E_KEEP:-0}" = 1 ]; then
    echo "windows-editor-test: kept $prefix and $work"
  else
    rm -rf "$prefix" "$work"
  fi
}
trap cleanup EXIT

w() { timeout -k 5 "${T:-60}" wine "$@"; }

# ---- the screen and the prefix ---------------------------------------------------
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
waitfor 10 test -s "$work/display" || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
TW_WINE_DISPLAY=":$(head -n1 "$work/display")" wine_prefix_up "$prefix" "$work" || exit 1
# Wine's own fonts (the dialogs' Tahoma, the caption buttons' Marlett)
# where this Wine looks for them.
cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null
# No window manager on the virtual screen: Wine draws the frames and
# captions itself.
w reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
w reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

# ---- the agent, installed ----------------------------------------------------------
port=19877
dir="$prefix/drive_c/Program Files/Tallwatch"
mkdir -p "$dir"
cp "$build/twnt.exe" "$build/twntcfg.exe" "$dir/"
# The agent is a 32-bit program: on 64-bit Windows its settings are in the
# 32-bit view, which reg query shows with /reg:32.
key='HKLM\SOFTWARE\Orvane Software\Tallwatch\twnt'
setting() { w reg query "$key\\$1" /ve /reg:32 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'; }
out=$(cd "$dir" && w twnt.exe -install 127.0.0.1 N "$port" 2>&1)
if [ "$(setting IPport)" = "$port" ] && [ "$(setting Timer)" = 300 ]; then
  pass "twnt.exe -install wrote the agent's settings"
else
  fail "twnt.exe -install wrote the agent's settings" "$out"
fi

# ---- the dialog tests, with the screenshots they ask for ---------------------------
# A test that wants a picture writes NAME.ready (the window's caption, then
# its place on the screen: x y width height) and waits for NAME.done. The
# picture is cut from the whole screen: there is no window manager, so the
# screen shows exactly what Wine drew.
cp "$build/twntcfg_dialog_tests.exe" "$work/"
(cd "$work" && TWNTCFG_TEST_PORT=$port TWNTCFG_EXE='C:\Program Files\Tallwatch\twntcfg.exe' \
   TWNTCFG_SCREENSHOTS="Z:${work//\//\\}\\shots" \
   timeout -k 10 600 wine twntcfg_dialog_tests.exe --gtest_brief=1 >"$work/tests.out" 2>&1) &
tests_pid=$!
while kill -0 "$tests_pid" 2>/dev/null; do
  for ready in "$work"/shots/*.ready; do
    [ -f "$ready" ] || continue
    name=$(basename "$ready" .ready)
    read -r x y width height < <(tr -d '\r' <"$ready" | sed -n 2p)
    rm -f "$ready"
    timeout 30 import -display "$DISPLAY" -window root -crop "${width}x${height}+${x}+${y}" +repage \
      "$shots/$name.png" 2>"$work/import.log" || cat "$work/import.log"
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

# ---- what the dialogs saved ----------------------------------------------------------
got="Timer=$(setting Timer) AliasName=$(setting AliasName) FQDN=$(setting FQDN) TWDISPLAY=$(setting TWDISPLAY)"
got+=" Defaults=$(setting Defaults) Tests=$(setting Tests)"
want="Timer=120 AliasName=WEBFARM1 FQDN=Y TWDISPLAY=10.0.0.9;127.0.0.1"
want+=" Defaults=CPU:70:95 DISK:90:95 PAGEFILE:80:90"
want+=" Tests=procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P netdata:T wmitest:P"
if [ "$got" = "$want" ]; then
  pass "the saved settings are in the registry"
else
  fail "the saved settings are in the registry" "got:  $got
want: $want"
fi
wmitests=$(setting WMITests)
if [ -n "$wmitests" ] && grep -q '"select ' <<<"$wmitests" && [ -s "$work/twwmitests" -o -n "$(find "$prefix/drive_c" -name twwmitests 2>/dev/null)" ]; then
  pass "the WMI test editor saved WMITests"
else
  fail "the WMI test editor saved WMITests" "$wmitests"
fi

for name in main newwmitest; do
  check "screenshot $shots/$name.png" test -s "$shots/$name.png"
done

summary windows-editor-test
