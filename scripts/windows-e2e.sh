#!/usr/bin/env bash
# The Windows agent under Wine, end to end, in a fresh Wine prefix:
#   - twnt.exe -install 127.0.0.1 N <port> creates the service and writes the
#     settings into Wine's registry (checked with reg query);
#   - twnt.exe -start starts it through Wine's service control manager, the
#     service runs cycles, and its reports reach the native Linux twrecv;
#   - twnt.exe -stop stops it; twnt.exe -app runs cycles in a console;
#   - twnt.exe without arguments outside the service manager logs the
#     dispatcher failure to the event log;
#   - twnt.exe -remove removes service and settings;
#   - twrecv.exe receives a message.
# Every Wine call is bounded in time; the prefix and its wineserver are gone
# at the end. Prints "windows-e2e: N passed, N failed" last; exits non-zero
# when a check failed.
#
#   scripts/windows-e2e.sh [TWNT_EXE]
# TWRECV names the receiver (default build/default/twrecv, skipped when
# missing); TW_E2E_KEEP=1 keeps the prefix for a look afterwards;
# TW_WINEARCH=win64 runs the agent on 64-bit Wine (wine64 installed).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/windows/twnt.exe}
recv=${TWRECV:-$root/build/default/twrecv}
[ -f "$exe" ] || { echo "windows-e2e: $exe not found (cmake --build --preset windows)"; exit 1; }

. "$root/scripts/lib/checks.sh"
prefix=$(mktemp -d /tmp/twnt-wine.XXXXXX)
work=$(mktemp -d /tmp/twnt-e2e.XXXXXX)
recv_pid=""
app_pid=""

cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$recv_pid" ] && kill "$recv_pid" 2>/dev/null
  wine_prefix_down
  if [ "${TW_E2E_KEEP:-0}" = 1 ]; then
    echo "windows-e2e: kept $prefix and $work"
  else
    rm -rf "$prefix" "$work"
  fi
}
trap cleanup EXIT

# One Wine call, bounded (seconds in T, default 60).
w() { timeout -k 5 "${T:-60}" wine "$@"; }

echo "== Wine prefix $prefix"
# Wine's event log only traces what it is given: the service manager, and so
# the agent's service, trace it into $work/services.log.
wine_prefix_up "$prefix" "$work" || exit 1

# The program where an administrator would put it: a path with a blank.
dir="$prefix/drive_c/Program Files/Tallwatch"
mkdir -p "$dir"
cp "$exe" "$dir/twnt.exe"
cd "$dir"
key='HKLM\SOFTWARE\Orvane Software\Tallwatch\twnt'
svckey='HKLM\SYSTEM\CurrentControlSet\Services\TallwatchClient'
setting() { w reg query "$key\\$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'; }
state() { w sc query TallwatchClient 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
twlogs() { find "$prefix/drive_c" -name TW.LOG 2>/dev/null; }
logsays() { local f; for f in $(twlogs); do grep -aq "$1" "$f" && return 0; done; return 1; }

# The display server: the native twrecv on a free loopback port.
port=""
if [ -x "$recv" ]; then
  start_twrecv "$recv" "$work/twrecv.out" || { echo "twrecv did not start"; cat "$work/twrecv.out.err"; }
fi
[ -n "$port" ] || port=19840

# ---- install -------------------------------------------------------------
out=$(w twnt.exe -install 127.0.0.1 N "$port" 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client 5.01 installed." <<<"$out"; then
  pass "install creates the service"
else
  fail "install creates the service (exit $rc)" "$out"
fi
got="TWDISPLAY=$(setting TWDISPLAY) TWPAGE=$(setting TWPAGE) IPport=$(setting IPport) FQDN=$(setting FQDN) Timer=$(setting Timer)"
if [ "$got" = "TWDISPLAY=127.0.0.1 TWPAGE=127.0.0.1 IPport=$port FQDN=N Timer=300" ]; then
  pass "install writes the settings into the registry"
else
  fail "install writes the settings into the registry" "$got"
fi
svc=$(w reg query "$svckey" 2>&1 | tr -d '\r')
if grep -q 'ImagePath *REG_SZ *"C:\\Program Files\\Tallwatch\\twnt.exe"' <<<"$svc" &&
   grep -q 'DisplayName *REG_SZ *Tallwatch Professional Edition Client 5.01' <<<"$svc" &&
   grep -q 'Start *REG_DWORD *0x2' <<<"$svc"; then
  pass "the service is registered with its quoted path, display name and automatic start"
else
  fail "the service is registered with its quoted path, display name and automatic start" "$svc"
fi
src=$(w reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\TallwatchClient' 2>&1 | tr -d '\r')
if grep -q 'EventMessageFile *REG_EXPAND_SZ *C:\\Program Files\\Tallwatch\\twnt.exe' <<<"$src" &&
   grep -q 'TypesSupported *REG_DWORD *0x7' <<<"$src"; then
  pass "install registers the event source"
else
  fail "install registers the event source" "$src"
fi
out=$(w twnt.exe -install 127.0.0.1 2>&1); rc=$?
if [ $rc -eq 1 ] && grep -q "is already installed !!!" <<<"$out"; then
  pass "a second install is refused"
else
  fail "a second install is refused (exit $rc)" "$out"
fi

out=$(w twnt.exe -upgrade 2>&1); rc=$?
svc=$(w reg query "$svckey" 2>&1 | tr -d '\r')
if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client upgraded" <<<"$out" &&
   grep -q 'ImagePath *REG_SZ *"C:\\Program Files\\Tallwatch\\twnt.exe"' <<<"$svc" &&
   [ "$(setting TWDISPLAY)" = 127.0.0.1 ]; then
  pass "-upgrade updates the service and keeps the settings"
else
  fail "-upgrade updates the service and keeps the settings (exit $rc)" "$out"
fi

# Short cycles and the diagnostic log for the checks below; a service of
# Wine's that is stopped and must run, to be restarted through WMI's
# Win32_Service methods.
w reg add "$key\\Timer" /ve /d 3 /f >/dev/null 2>&1
w reg add "$key\\Activatelog" /ve /d Y /f >/dev/null 2>&1
w reg add "$key\\Services" /ve /d "Print Spooler:R:R:Y" /f >/dev/null 2>&1

# ---- the service -----------------------------------------------------------
out=$(w twnt.exe -start 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client service started" <<<"$out" &&
   [ "$(state)" = RUNNING ]; then
  pass "-start starts the service through the service manager"
else
  fail "-start starts the service through the service manager (exit $rc, state $(state))" "$out"
fi
if waitfor 40 logsays "Sequence: 1"; then
  pass "the service runs monitoring cycles"
else
  fail "the service runs monitoring cycles" "$(for f in $(twlogs); do tr -d '\r' <"$f" | tail -5; done)"
fi
if [ -n "$recv_pid" ]; then
  for test in mem disk svcs pagefile; do
    if waitfor 30 grep -aq "^status [^ ]*\.$test " "$work/twrecv.out"; then
      pass "the $test report arrives at twrecv"
    else
      fail "the $test report arrives at twrecv" "$(head -c 2000 "$work/twrecv.out")"
    fi
  done
  if waitfor 20 grep -aq "^&red Print Spooler - Stopped - Restart attempted" "$work/twrecv.out"; then
    pass "svcs restarts a stopped service through WMI"
  else
    fail "svcs restarts a stopped service through WMI" "$(grep -a -A4 "\.svcs " "$work/twrecv.out" | head -20)"
  fi
else
  skip "reports at twrecv ($recv not built)"
fi
out=$(w twnt.exe -stop 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client service stopped" <<<"$out" &&
   waitfor 15 test "$(state)" = STOPPED; then
  pass "-stop stops the service"
else
  fail "-stop stops the service (exit $rc, state $(state))" "$out"
fi
if waitfor 10 sh -c '! pgrep -f "Tallwatch.[t]wnt.exe" >/dev/null'; then
  pass "the service process ends after the stop"
else
  fail "the service process ends after the stop" "$(pgrep -af twnt.exe)"
fi

# The service's entries: information (type 4), category 0, identifier 256.
events=$(grep -a "eventlog:ReportEventW L\|advapi:ReportEventA" "$work/services.log")
if grep -q 'ReportEventA (.*,0x0004,0x0000,0x00000100,' <<<"$events" &&
   grep -q 'L"Started Tallwatch Professional Edition Client 5.01"' <<<"$events" &&
   grep -q 'L"Stopped Tallwatch Professional Edition Client 5.01"' <<<"$events"; then
  pass "the service writes its Started and Stopped entries with identifier 256"
else
  fail "the service writes its Started and Stopped entries with identifier 256" "$events"
fi

# ---- no arguments: the dispatcher cannot start outside the manager --------
WINEDEBUG=err+eventlog w twnt.exe >"$work/noarg.out" 2>"$work/noarg.err"; rc=$?
if [ $rc -eq 0 ] && grep -q 'L"StartServiceCtrlDispatcher failed."' "$work/noarg.err" &&
   grep -q 'L"TallwatchClient error: 1063"' "$work/noarg.err"; then
  pass "without arguments the dispatcher failure is logged"
else
  fail "without arguments the dispatcher failure is logged (exit $rc)" "$(grep -a eventlog "$work/noarg.err")"
fi

# ---- -app -------------------------------------------------------------------
for f in $(twlogs); do rm -f "$f"; done
timeout -k 5 60 wine twnt.exe -app >"$work/app.out" 2>&1 &
app_pid=$!
if waitfor 40 logsays "Sequence: 1"; then
  pass "-app runs monitoring cycles"
else
  fail "-app runs monitoring cycles" "$(for f in $(twlogs); do tr -d '\r' <"$f" | tail -5; done)"
fi
kill "$app_pid" 2>/dev/null
wait "$app_pid" 2>/dev/null
app_pid=""
waitfor 10 sh -c '! pgrep -f "[t]wnt.exe -app" >/dev/null'

# ---- remove -----------------------------------------------------------------
out=$(w twnt.exe -remove 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client 5.01 removed." <<<"$out"; then
  pass "-remove deletes the service"
else
  fail "-remove deletes the service (exit $rc)" "$out"
fi
if ! w reg query "$key" >/dev/null 2>&1 && ! w reg query "$svckey" >/dev/null 2>&1; then
  pass "-remove deletes the settings and the service's registration"
else
  fail "-remove deletes the settings and the service's registration" "$(w reg query "$key" /s 2>&1 | head -20)"
fi

# ---- twrecv.exe ----------------------------------------------------------------
recvexe=$(dirname "$exe")/twrecv.exe
if [ -f "$recvexe" ]; then
  timeout -k 5 30 wine "$recvexe" --bind 127.0.0.1 --port 0 --count 1 \
    >"$work/twrecv-exe.out" 2>"$work/twrecv-exe.err" &
  rpid=$!
  exeport=""
  waitfor 20 grep -q "listening on port" "$work/twrecv-exe.out" &&
    exeport=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$work/twrecv-exe.out")
  [ -n "$exeport" ] && printf 'status vm.disk green over\r\nthe loopback\0' >"/dev/tcp/127.0.0.1/$exeport"
  wait "$rpid" 2>/dev/null
  if grep -aq $'^status vm.disk green over\r$' "$work/twrecv-exe.out" &&
     grep -q "1 message(s) received" "$work/twrecv-exe.err"; then
    pass "twrecv.exe receives a message"
  else
    fail "twrecv.exe receives a message" "$(cat "$work/twrecv-exe.out" "$work/twrecv-exe.err")"
  fi
else
  skip "twrecv.exe ($recvexe not built)"
fi

summary windows-e2e
