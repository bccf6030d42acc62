#!/usr/bin/env bash
# Runs a Windows program under Wine for the build and its tests: a prefix of
# its own (WINEPREFIX, default build/windows/wineprefix; a 64-bit one for the
# 64-bit build, TW_WINE_BITS=64, see scripts/lib/wine.sh), no debug chatter,
# no Mono/Gecko installer prompts, bounded in time (TW_WINE_TIMEOUT seconds,
# default 600).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib/wine.sh"
if [ "${TW_WINE_BITS:-32}" = 64 ]; then
  export WINEPREFIX=${WINEPREFIX:-$here/build/windows64/wineprefix}
else
  export WINEPREFIX=${WINEPREFIX:-$here/build/windows/wineprefix}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=${TW_WINEARCH:-${WINEARCH:-win32}}
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 180 wineboot -i >/dev/null 2>&1 || true
fi
exec timeout -k 10 "${TW_WINE_TIMEOUT:-600}" wine "$@"
