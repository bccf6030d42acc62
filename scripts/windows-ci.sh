#!/usr/bin/env bash
# The Windows half of CI, after the Linux tests: installs the cross compiler
# and Wine when missing, cross-builds twnt.exe, twntcfg.exe, twrecv.exe and the test
# program for 32-bit Windows (OpenSSL's libcrypto is cross-built once per
# build tree), runs the test program under Wine, then the Wine checks of the
# agent against the native Linux twrecv (the CTest tests labelled "wine",
# one per check of scripts/windows-e2e.sh) and of the editor's dialogs on a
# virtual screen (wine.editor_dialogs, scripts/windows-editor-test.sh, which
# leaves screenshots in build/windows/screenshots).
# Everything Wine runs is bounded in time.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

scripts/install-windows-deps.sh

echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows

echo "== windows tests under Wine"
prefix="$PWD/build/windows/wineprefix"
status=0
WINEPREFIX="$prefix" ctest --preset windows -LE wine || status=1
WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null || true

echo "== the agent under Wine"
# The display server of the checks is the Linux receiver.
if [ ! -x build/default/twrecv ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target twrecv
fi
echo "windows-ci: build and tests took $((SECONDS - start)) s"
TWRECV="$PWD/build/default/twrecv" ctest --preset windows -L wine || status=1
exit $status
