#!/usr/bin/env bash
# The Windows agent under Wine, end to end, one check per call, so that
# CTest reports each as a test of its own (label "wine"; see
# cmake/windows.cmake). The checks share one fresh Wine prefix and one
# native Linux twrecv, which "setup" prepares and "cleanup" ends; they run
# in the order "list" gives, each on what the ones before it left:
#   - twnt.exe -install 127.0.0.1 N <port> creates the service and writes the
#     settings into Wine's registry (checked with reg query);
#   - twnt.exe -start starts it through Wine's service control manager, the
#     service runs cycles, and its reports reach the native Linux twrecv;
#   - twnt.exe -stop stops it; twnt.exe -app runs cycles in a console;
#   - twnt.exe without arguments outside the service manager logs the
#     dispatcher failure to the event log;
#   - twnt.exe -remove removes service and settings;
#   - twrecv.exe receives a message.
# Every Wine call is bounded in time. A check prints PASS, FAIL (with what
# it saw) or SKIP and exits 0, 1 or 77.
#
#   ctest --preset windows -L wine              # all checks, in order
#   scripts/windows-e2e.sh setup [TWNT_EXE]     # by hand: prepare,
#   scripts/windows-e2e.sh CHECK                #   run checks,
#   scripts/windows-e2e.sh cleanup              #   end
#   scripts/windows-e2e.sh list                 # the checks' names
# TW_E2E_STATE names the folder that holds the shared state (default
# build/windows/wine-e2e). At setup: TWRECV names the receiver (default
# build/default/twrecv; the checks that need it are skipped when it is
# missing) and TW_WINEARCH=win64 runs the agent on 64-bit Wine (wine64
# installed); TW_WINE_BITS=64 names the 64-bit build (scripts/lib/wine.sh),
# always on 64-bit Wine. TW_E2E_KEEP=1 at cleanup keeps the prefix for a look.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
state=${TW_E2E_STATE:-$root/build/windows/wine-e2e}

checks=(install install_settings registry_view install_service_entry install_event_source
  install_twice_refused upgrade start service_cycles report_mem report_disk report_svcs
  report_pagefile svcs_restarts_service stop stop_ends_process service_events
  dispatcher_failure app_cycles remove remove_settings twrecv_exe)

. "$root/scripts/lib/checks.sh"
# A call runs one check: its verdict is the call's exit status.
pass() { echo "PASS: $1"; exit 0; }
fail() { echo "FAIL: $1"; [ $# -gt 1 ] && printf '%s\n' "$2" | sed 's/^/      /'; exit 1; }
skip() { echo "SKIP: $1"; exit 77; }

# One Wine call, bounded (seconds in T, default 60).
w() { timeout -k 5 "${T:-60}" wine "$@"; }

key='HKLM\SOFTWARE\Orvane Software\Tallwatch\twnt'
svckey='HKLM\SYSTEM\CurrentControlSet\Services\TallwatchClient'
# The agent's settings are in the registry's 32-bit view (/reg:32), whatever
# the build: the product is a 32-bit program.
setting() { w reg query "$key\\$1" /ve /reg:32 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'; }
svcstate() { w sc query TallwatchClient 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
twlogs() { find "$prefix/drive_c" -name TW.LOG 2>/dev/null; }
logsays() { local f; for f in $(twlogs); do grep -aq "$1" "$f" && return 0; done; return 1; }
logtails() { local f; for f in $(twlogs); do tr -d '\r' <"$f" | tail -5; done; }

# The Wine environment of the checks, from the state that setup wrote (as
# wine_prefix_up sets it).
wine_env() {
  export WINEPREFIX=$prefix WINEARCH=$winearch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
}

load() {
  [ -f "$state/env" ] || { echo "windows-e2e: no setup in $state (run setup first)"; exit 1; }
  # shellcheck source=/dev/null
  . "$state/env"
  wine_env
  cd "$dir" || exit 1
}

cleanup() {
  [ -f "$state/env" ] || return 0
  # shellcheck source=/dev/null
  . "$state/env"
  wine_env
  [ -n "$recv_pid" ] && kill "$recv_pid" 2>/dev/null
  wine_prefix_down
  if [ "${TW_E2E_KEEP:-0}" = 1 ]; then
    echo "windows-e2e: kept $prefix and $work"
  else
    rm -rf "$prefix" "$work"
  fi
  rm -f "$state/env"
}

setup() {
  local exe=$1
  [ -f "$exe" ] || { echo "windows-e2e: $exe not found (cmake --build --preset windows)"; exit 1; }
  cleanup
  mkdir -p "$state"
  prefix=$(mktemp -d /tmp/twnt-wine.XXXXXX)
  work=$(mktemp -d /tmp/twnt-e2e.XXXXXX)
  winearch=${TW_WINEARCH:-win32}
  # The program where an administrator would put it: a path with a blank.
  dir="$prefix/drive_c/Program Files/Tallwatch"
  recv_pid=""
  port=""
  save() {
    printf 'prefix=%q\nwork=%q\nwinearch=%q\ndir=%q\nexedir=%q\nrecv_pid=%q\nport=%q\n' \
      "$prefix" "$work" "$winearch" "$dir" "$(dirname "$exe")" "$recv_pid" "$port" >"$state/env"
  }
  save

  echo "== Wine prefix $prefix"
  # Wine's event log only traces what it is given: the service manager, and
  # so the agent's service, trace it into $work/services.log. Nothing of
  # Wine's may hold CTest's output: its daemons would keep it open for ever.
  TW_WINEARCH=$winearch wine_prefix_up "$prefix" "$work" </dev/null >"$work/prefix.log" 2>&1 ||
    { cat "$work/prefix.log"; exit 1; }

  mkdir -p "$dir"
  cp "$exe" "$dir/twnt.exe"

  # The display server: the native twrecv on a free loopback port.
  local recv=${TWRECV:-$root/build/default/twrecv}
  if [ -x "$recv" ]; then
    start_twrecv "$recv" "$work/twrecv.out" </dev/null ||
      { echo "twrecv did not start"; cat "$work/twrecv.out.err"; }
  else
    echo "windows-e2e: $recv not built; the checks of the reports are skipped"
  fi
  [ -n "$port" ] || port=19840
  save
  echo "windows-e2e: ready, the agent reports to 127.0.0.1 port $port"
}

# ---- install -------------------------------------------------------------

check_install() {
  out=$(w twnt.exe -install 127.0.0.1 N "$port" 2>&1); rc=$?
  if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client 5.01 installed." <<<"$out"; then
    pass "install creates the service"
  fi
  fail "install creates the service (exit $rc)" "$out"
}

check_install_settings() {
  got="TWDISPLAY=$(setting TWDISPLAY) TWPAGE=$(setting TWPAGE) IPport=$(setting IPport) FQDN=$(setting FQDN) Timer=$(setting Timer)"
  if [ "$got" = "TWDISPLAY=127.0.0.1 TWPAGE=127.0.0.1 IPport=$port FQDN=N Timer=300" ]; then
    pass "install writes the settings into the registry"
  fi
  fail "install writes the settings into the registry" "$got"
}

# On 64-bit Windows a 64-bit program that opens the 32-bit program's path
# (SOFTWARE\Wow6432Node\...) in its own view finds the settings there, and
# nothing lies at the plain path of the 64-bit view: the 64-bit build keeps
# its settings where the product's are.
check_registry_view() {
  [ "$winearch" = win64 ] || skip "the registry's 32-bit view (a 32-bit Windows has one view only)"
  local wowkey='HKLM\SOFTWARE\Wow6432Node\Orvane Software\Tallwatch\twnt'
  seen=$(w reg query "$wowkey\\IPport" /ve /reg:64 2>&1 | tr -d '\r')
  if grep -q "REG_SZ *$port\$" <<<"$seen" && ! w reg query "$key" /reg:64 >/dev/null 2>&1; then
    pass "the settings are in the 32-bit view, where a 64-bit reader finds them through Wow6432Node"
  fi
  fail "the settings are in the 32-bit view, where a 64-bit reader finds them through Wow6432Node" \
    "$seen
$(w reg query "$key" /s /reg:64 2>&1 | head -5)"
}

check_install_service_entry() {
  svc=$(w reg query "$svckey" 2>&1 | tr -d '\r')
  if grep -q 'ImagePath *REG_SZ *"C:\\Program Files\\Tallwatch\\twnt.exe"' <<<"$svc" &&
     grep -q 'DisplayName *REG_SZ *Tallwatch Professional Edition Client 5.01' <<<"$svc" &&
     grep -q 'Start *REG_DWORD *0x2' <<<"$svc"; then
    pass "the service is registered with its quoted path, display name and automatic start"
  fi
  fail "the service is registered with its quoted path, display name and automatic start" "$svc"
}

check_install_event_source() {
  src=$(w reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\TallwatchClient' 2>&1 | tr -d '\r')
  if grep -q 'EventMessageFile *REG_EXPAND_SZ *C:\\Program Files\\Tallwatch\\twnt.exe' <<<"$src" &&
     grep -q 'TypesSupported *REG_DWORD *0x7' <<<"$src"; then
    pass "install registers the event source"
  fi
  fail "install registers the event source" "$src"
}

check_install_twice_refused() {
  out=$(w twnt.exe -install 127.0.0.1 2>&1); rc=$?
  if [ $rc -eq 1 ] && grep -q "is already installed !!!" <<<"$out"; then
    pass "a second install is refused"
  fi
  fail "a second install is refused (exit $rc)" "$out"
}

check_upgrade() {
  out=$(w twnt.exe -upgrade 2>&1); rc=$?
  svc=$(w reg query "$svckey" 2>&1 | tr -d '\r')
  if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client upgraded" <<<"$out" &&
     grep -q 'ImagePath *REG_SZ *"C:\\Program Files\\Tallwatch\\twnt.exe"' <<<"$svc" &&
     [ "$(setting TWDISPLAY)" = 127.0.0.1 ]; then
    pass "-upgrade updates the service and keeps the settings"
  fi
  fail "-upgrade updates the service and keeps the settings (exit $rc)" "$out"
}

# ---- the service -----------------------------------------------------------

check_start() {
  # Short cycles and the diagnostic log for the checks that follow; a
  # service of Wine's that is stopped and must run, to be restarted through
  # WMI's Win32_Service methods.
  w reg add "$key\\Timer" /ve /d 3 /f /reg:32 >/dev/null 2>&1
  w reg add "$key\\Activatelog" /ve /d Y /f /reg:32 >/dev/null 2>&1
  w reg add "$key\\Services" /ve /d "Print Spooler:R:R:Y" /f /reg:32 >/dev/null 2>&1
  out=$(w twnt.exe -start 2>&1); rc=$?
  if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client service started" <<<"$out" &&
     [ "$(svcstate)" = RUNNING ]; then
    pass "-start starts the service through the service manager"
  fi
  fail "-start starts the service through the service manager (exit $rc, state $(svcstate))" "$out"
}

check_service_cycles() {
  waitfor 40 logsays "Sequence: 1" && pass "the service runs monitoring cycles"
  fail "the service runs monitoring cycles" "$(logtails)"
}

report_arrives() {
  [ -n "$recv_pid" ] || skip "the $1 report arrives at twrecv (no twrecv)"
  if waitfor 30 grep -aq "^status [^ ]*\.$1 " "$work/twrecv.out"; then
    pass "the $1 report arrives at twrecv"
  fi
  fail "the $1 report arrives at twrecv" "$(head -c 2000 "$work/twrecv.out")"
}
check_report_mem() { report_arrives mem; }
check_report_disk() { report_arrives disk; }
check_report_svcs() { report_arrives svcs; }
check_report_pagefile() { report_arrives pagefile; }

check_svcs_restarts_service() {
  [ -n "$recv_pid" ] || skip "svcs restarts a stopped service through WMI (no twrecv)"
  if waitfor 20 grep -aq "^&red Print Spooler - Stopped - Restart attempted" "$work/twrecv.out"; then
    pass "svcs restarts a stopped service through WMI"
  fi
  fail "svcs restarts a stopped service through WMI" "$(grep -a -A4 "\.svcs " "$work/twrecv.out" | head -20)"
}

check_stop() {
  out=$(w twnt.exe -stop 2>&1); rc=$?
  if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client service stopped" <<<"$out" &&
     waitfor 15 test "$(svcstate)" = STOPPED; then
    pass "-stop stops the service"
  fi
  fail "-stop stops the service (exit $rc, state $(svcstate))" "$out"
}

check_stop_ends_process() {
  if waitfor 10 sh -c '! pgrep -f "Tallwatch.[t]wnt.exe" >/dev/null'; then
    pass "the service process ends after the stop"
  fi
  fail "the service process ends after the stop" "$(pgrep -af twnt.exe)"
}

# The service's entries: information (type 4), category 0, identifier 256.
check_service_events() {
  events=$(grep -a "eventlog:ReportEventW L\|advapi:ReportEventA" "$work/services.log")
  if grep -q 'ReportEventA (.*,0x0004,0x0000,0x00000100,' <<<"$events" &&
     grep -q 'L"Started Tallwatch Professional Edition Client 5.01"' <<<"$events" &&
     grep -q 'L"Stopped Tallwatch Professional Edition Client 5.01"' <<<"$events"; then
    pass "the service writes its Started and Stopped entries with identifier 256"
  fi
  fail "the service writes its Started and Stopped entries with identifier 256" "$events"
}

# ---- no arguments: the dispatcher cannot start outside the manager --------

check_dispatcher_failure() {
  WINEDEBUG=err+eventlog w twnt.exe >"$work/noarg.out" 2>"$work/noarg.err"; rc=$?
  if [ $rc -eq 0 ] && grep -q 'L"StartServiceCtrlDispatcher failed."' "$work/noarg.err" &&
     grep -q 'L"TallwatchClient error: 1063"' "$work/noarg.err"; then
    pass "without arguments the dispatcher failure is logged"
  fi
  fail "without arguments the dispatcher failure is logged (exit $rc)" "$(grep -a eventlog "$work/noarg.err")"
}

# ---- -app -------------------------------------------------------------------

check_app_cycles() {
  for f in $(twlogs); do rm -f "$f"; done
  timeout -k 5 60 wine twnt.exe -app </dev/null >"$work/app.out" 2>&1 &
  app_pid=$!
  local ok=1
  waitfor 40 logsays "Sequence: 1" && ok=0
  kill "$app_pid" 2>/dev/null
  wait "$app_pid" 2>/dev/null
  waitfor 10 sh -c '! pgrep -f "[t]wnt.exe -app" >/dev/null'
  [ $ok -eq 0 ] && pass "-app runs monitoring cycles"
  fail "-app runs monitoring cycles" "$(logtails)"
}

# ---- remove -----------------------------------------------------------------

check_remove() {
  out=$(w twnt.exe -remove 2>&1); rc=$?
  if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client 5.01 removed." <<<"$out"; then
    pass "-remove deletes the service"
  fi
  fail "-remove deletes the service (exit $rc)" "$out"
}

check_remove_settings() {
  if ! w reg query "$key" /reg:32 >/dev/null 2>&1 && ! w reg query "$svckey" >/dev/null 2>&1; then
    pass "-remove deletes the settings and the service's registration"
  fi
  fail "-remove deletes the settings and the service's registration" "$(w reg query "$key" /s /reg:32 2>&1 | head -20)"
}

# ---- twrecv.exe ----------------------------------------------------------------

check_twrecv_exe() {
  recvexe=$exedir/twrecv.exe
  [ -f "$recvexe" ] || skip "twrecv.exe ($recvexe not built)"
  timeout -k 5 30 wine "$recvexe" --bind 127.0.0.1 --port 0 --count 1 </dev/null \
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
  fi
  fail "twrecv.exe receives a message" "$(cat "$work/twrecv-exe.out" "$work/twrecv-exe.err")"
}

case "${1:-}" in
  list) printf '%s\n' "${checks[@]}" ;;
  setup) setup "${2:-$root/build/windows/twnt.exe}" ;;
  cleanup) cleanup ;;
  *)
    if [ -n "${1:-}" ] && [[ " ${checks[*]} " == *" $1 "* ]]; then
      load
      "check_$1"
    else
      echo "usage: $0 setup [TWNT_EXE] | CHECK | cleanup | list" >&2
      exit 2
    fi
    ;;
esac
