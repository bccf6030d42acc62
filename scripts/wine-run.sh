#!/usr/bin/env bash
# Runs a Windows program under Wine for the build and its tests: a prefix of
# its own (WINEPREFIX, default build/windows/wineprefix), no debug chatter,
# no Mono/Gecko installer prompts, bounded in time (TW_WINE_TIMEOUT seconds,
# default 600).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=${WINEARCH:-win32}
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 180 wineboot -i >/dev/null 2>&1 || true
fi
exec timeout -k 10 "${TW_WINE_TIMEOUT:-600}" wine "$@"
