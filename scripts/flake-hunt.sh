#!/usr/bin/env bash
# Runs the tests that flake when the machine is busy -- the Qt windows'
# programs, the end-to-end tests (child agents, twrecv, twwmi) -- each up to
# N times (default 20) under a competing processor load, stopping a test at
# its first failure (ctest --repeat until-fail:N).
#   scripts/flake-hunt.sh [BUILD_DIR] [N]     (default build/default, 20)
# The load is stress-ng on two workers for the length of the run (Debian's
# stress-ng; TW_FLAKE_LOAD=0 runs without it). Prints the failing tests and
# "flake-hunt: N passed, N failed" last.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
rounds=${2:-20}
# The suites that start processes, sockets or windows and wait on them.
pattern=${TW_FLAKE_TESTS:-'^qt_|^(AgentApp|AgentCommands|AgentExt|BuiltinTestsEndToEnd|CpuEndToEnd|EditorRemote|WmiTestsEndToEnd|TwrecvProgram|Twwmi|Twsetting)\.'}

[ -f "$build/CTestTestfile.cmake" ] || { echo "flake-hunt: no build in $build"; exit 1; }
load_pid=""
if [ "${TW_FLAKE_LOAD:-1}" != 0 ]; then
  "$root/scripts/install-deps.sh" stress-ng >/dev/null
  stress-ng --cpu 2 --timeout 3600 --quiet &
  load_pid=$!
fi
trap '[ -n "$load_pid" ] && kill "$load_pid" 2>/dev/null; wait 2>/dev/null' EXIT

log=$(mktemp /tmp/flake-hunt.XXXXXX)
ctest --test-dir "$build" -R "$pattern" --repeat "until-fail:$rounds" -j2 \
  --timeout 600 --output-on-failure >"$log" 2>&1
rc=$?
grep -E "Test +#|tests passed|The following tests FAILED|Failed|\*\*\*" "$log" | grep -v " Passed " | tail -40
passed=$(grep -c " Passed " "$log")
failed=$(grep -cE "\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception| Failed " "$log")
echo "flake-hunt: log in $log"
echo "flake-hunt: $passed passed, $failed failed"
exit $rc
