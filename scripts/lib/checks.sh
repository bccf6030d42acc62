# Shared by the end-to-end check scripts (sourced): PASS/FAIL/SKIP counting,
# bounded waits, the loopback twrecv and a Wine prefix of their own.

. "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

passed=0
failed=0
skipped=0
pass() { passed=$((passed + 1)); echo "PASS: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; [ $# -gt 1 ] && printf '%s\n' "$2" | sed 's/^/      /'; }
skip() { skipped=$((skipped + 1)); echo "SKIP: $1"; }
# check NAME COMMAND...: PASS or FAIL by the command's status.
check() { local name=$1; shift; if "$@"; then pass "$name"; else fail "$name"; fi; }
not() { ! "$@"; }
# Prints "NAME: N passed, N failed, N skipped"; fails when a check failed.
summary() {
  echo "$1: $passed passed, $failed failed, $skipped skipped"
  [ $failed -eq 0 ]
}

# has_program BUILDDIR NAME: whether that (Ninja) build makes the program NAME;
# the files of a program that the build no longer makes may still lie there.
# (The whole list is read first: grep -q would end the pipe early, and under
# pipefail ninja's broken pipe would read as "no such program".)
has_program() {
  local targets
  targets=$(ninja -C "$1" -t targets all 2>/dev/null) || return 1
  grep -qE "^$2(\.exe)?: " <<<"$targets"
}

# Waits up to $1 seconds for a command to succeed.
waitfor() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  while [ $SECONDS -lt $end ]; do
    "$@" && return 0
    sleep 1
  done
  return 1
}

# start_twrecv PROGRAM OUTFILE [ARGS...]: a receiver on a free loopback port.
# Sets recv_pid and port (empty when it did not come up).
start_twrecv() {
  local program=$1 out=$2; shift 2
  port=""
  "$program" --bind 127.0.0.1 --port 0 "$@" >"$out" 2>"$out.err" &
  recv_pid=$!
  for _ in $(seq 50); do
    port=$(sed -n 's/.*listening on .*port \([0-9]*\).*/\1/p' "$out" | head -n1)
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  return 1
}

# wine_prefix_up PREFIX LOGDIR: a fresh Wine prefix with one persistent
# wineserver, and so one service manager, for all the calls that follow:
# Wine ends its services when the last program ends, and a new service
# manager would start an automatic-start service on its own. (Made
# persistent only after the prefix is complete: wineboot restarts the
# service manager.) The service manager runs with the event-log trace on,
# into LOGDIR/services.log, and with no output to inherit: a daemon that
# held the pipe of a $(...) would keep it open for ever. Wine's desktop has
# no screen, unless TW_WINE_DISPLAY names an X display for it (the desktop
# takes the screen of the prefix's first program).
wine_prefix_up() {
  export WINEPREFIX=$1 WINEARCH=${TW_WINEARCH:-win32} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -n "${TW_WINE_DISPLAY:-}" ]; then export DISPLAY=$TW_WINE_DISPLAY; else unset DISPLAY; fi
  timeout 180 wineboot -i >"$2/wineboot.log" 2>&1 || { cat "$2/wineboot.log"; return 1; }
  timeout 60 wineserver -w
  wineserver -p
  WINEDEBUG=trace+eventlog,fixme+advapi timeout 120 wineboot </dev/null >/dev/null \
    2>"$2/services.log"
}

# wine_runs PATTERN: whether a program of this prefix (WINEPREFIX) runs whose
# command line matches PATTERN; other prefixes on the machine do not count.
wine_runs() {
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# Ends the prefix's wineserver and everything Wine still runs in it.
wine_prefix_down() {
  timeout 30 wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
}
