#!/usr/bin/env bash
# The Windows half of CI, after the Linux tests. It first tells which kind of
# machine it is on (scripts/can-run-32bit.sh) and says so on its first line:
#   - everywhere, the product is cross-built for 32-bit Windows (twnt.exe,
#     twntcfg.exe, twrecv.exe and the installer; preset windows) and its
#     programs are checked to be PE32 i386 programs that import only
#     Windows' own libraries (scripts/check-windows-programs.sh);
#   - where 32-bit programs run, the checks run on that product: the test
#     program under Wine, the agent's Wine checks against the native Linux
#     twrecv (CTest label "wine", one test per check of
#     scripts/windows-e2e.sh) and the editor's dialogs on a virtual screen in
#     a 32-bit and a 64-bit Wine prefix (scripts/windows-editor-test.sh,
#     screenshots in build/windows/screenshots*);
#   - where they do not, the same checks run on the 64-bit build of the same
#     sources (preset windows64) under 64-bit Wine alone.
# It ends with which checks ran on which build, and their counts. Everything
# Wine runs is bounded in time. TW_WINE_BITS=32 or 64 forces a build.
#
#   scripts/windows-ci.sh          # build (when not built yet) and check
#   scripts/windows-ci.sh build    # only the builds and the program check
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

# What the build needs first: on a new machine the 32-bit loader the probe
# tries comes with the 32-bit Wine. Its output follows the first line.
deps_log=$(mktemp)
trap 'rm -f "$deps_log"' EXIT
if ! scripts/install-windows-deps.sh >"$deps_log" 2>&1; then
  echo "windows-ci: installing what the Windows build needs failed"
  cat "$deps_log"
  exit 1
fi

if [ -z "${TW_WINE_BITS:-}" ]; then
  if why=$(scripts/can-run-32bit.sh 2>&1 >/dev/null); then
    TW_WINE_BITS=32
    echo "windows-ci: this machine runs 32-bit programs: the checks run on the 32-bit product (preset windows)"
  else
    TW_WINE_BITS=64
    echo "windows-ci: this machine cannot run 32-bit programs (${why//$'\n'/ }):" \
      "the checks run on the 64-bit build (preset windows64) under 64-bit Wine"
  fi
else
  echo "windows-ci: TW_WINE_BITS=$TW_WINE_BITS given: the checks run on the $TW_WINE_BITS-bit build"
fi
export TW_WINE_BITS
preset=windows
[ "$TW_WINE_BITS" = 64 ] && preset=windows64
cat "$deps_log"

# ---- the product: 32-bit, built and inspected on every machine -------------------
echo "== windows build (the 32-bit product)"
cmake --preset windows >/dev/null
if [ "$preset" = windows ]; then
  cmake --build --preset windows
fi
cmake --build --preset windows --target twnt twntcfg twrecv installer
status=0
product="the 32-bit product (twnt.exe, twntcfg.exe, twrecv.exe, the installer): built"
if bash scripts/check-windows-programs.sh build/windows i386; then
  product+=", PE32 i386 programs importing only Windows' own libraries"
else
  product+=", FAILED the program check"
  status=1
fi

if [ "$preset" = windows64 ]; then
  echo "== windows64 build (the same sources, 64-bit, for the checks)"
  cmake --preset windows64 >/dev/null
  cmake --build --preset windows64
  cmake --build --preset windows64 --target installer
  bash scripts/check-windows-programs.sh build/windows64 x86-64 || status=1
fi
if [ "${1:-}" = build ]; then
  echo "windows-ci: the builds took $((SECONDS - start)) s"
  exit $status
fi

# ---- the checks -------------------------------------------------------------------
# ctest's closing count of one run: "N passed, N failed, N skipped of N".
counts() {
  local log=$1 total failed skipped
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
  failed=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n1)
  skipped=$(grep -c '\*\*\*Skipped\| Skipped ' "$log" || true)
  echo "$((${total:-0} - ${failed:-0} - skipped)) passed, ${failed:-?} failed, $skipped skipped of ${total:-0}"
}

prefix="$PWD/build/$preset/wineprefix"
log=build/$preset/ci-logs
mkdir -p "$log"
echo "== windows tests under Wine ($preset)"
WINEPREFIX="$prefix" ctest --preset $preset -LE wine 2>&1 | tee "$log/tests.log" || true
grep -q "100% tests passed" "$log/tests.log" || status=1
WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null || true

echo "== the agent and the editor under Wine ($preset)"
# The display server of the checks is the Linux receiver.
if [ ! -x build/default/twrecv ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target twrecv
fi
echo "windows-ci: build and tests took $((SECONDS - start)) s"
TWRECV="$PWD/build/default/twrecv" ctest --preset $preset -L wine -E '^wine\.editor' 2>&1 |
  tee "$log/agent.log" || true
grep -q "100% tests passed" "$log/agent.log" || status=1
ctest --preset $preset -R '^wine\.editor' 2>&1 | tee "$log/editor.log" || true
grep -q "100% tests passed" "$log/editor.log" || status=1

bits="32-bit product (preset windows)"
[ "$preset" = windows64 ] && bits="64-bit build (preset windows64, 64-bit Wine)"
echo "== windows-ci: what ran where"
echo "  $product"
echo "  the test program on the $bits: $(counts "$log/tests.log") CTest tests;" \
  "$(sed -n 's/.*\[==========\] \([0-9]*\) tests from .* ran.*/\1/p' "$log/tests.log" | head -n1)" \
  "tests in twnt_tests.exe:" \
  "$(sed -n 's/.*\[  PASSED  \] \([0-9]*\) tests\..*/\1/p' "$log/tests.log" | head -n1) passed"
echo "  the agent's Wine checks on the $bits: $(counts "$log/agent.log")"
echo "  the editor's dialog runs on the $bits: $(counts "$log/editor.log")"
grep -h -A1 "SKIP" "$log/editor.log" | grep -v '^--$' | sed 's/^/    /' || true
echo "  the installer test follows: scripts/windows-installer-test.sh (TW_WINE_BITS=$TW_WINE_BITS)"
echo "windows-ci: took $((SECONDS - start)) s"
exit $status
