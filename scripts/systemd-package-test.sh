#!/usr/bin/env bash
# The Debian package of the agent under a real systemd, on machines that have
# none as PID 1: a minimal Debian (debootstrap minbase with systemd, kept
# under build/systemd-root and reused) booted with systemd-nspawn, each run
# on a throw-away overlay of it and in a cgroup of its own. The container
# shares this machine's network, so the agent inside reports to a twrecv
# listening here on 127.0.0.1. Cases:
#   - apt install of the package (its dependencies, libssl3 among them, from
#     the archive), twnt -install, systemctl start: active, reports arrive
#     within two cycles (Timer set short with twsetting);
#   - a KeyCode: the reports arrive encrypted and twrecv --key opens them;
#   - kill -9 of the main process: restarted after RestartSec, the journal
#     tells it, reports resume;
#   - twnt -stop / -start, systemctl stop / start and the editor's service
#     button (its model, tw_service_button) agree;
#   - an upgrade to revision 2 restarts the running agent and keeps its
#     settings; apt remove stops and disables it and keeps /var/lib/twnt;
#     apt purge deletes that and the unit twnt -install wrote;
#   - systemd-analyze security of the unit: the exposure it reports.
# Where the container cannot be made or booted, says which step failed and
# its error, and ends with status 0 (the cases are skipped, not failed).
# Every step is bounded; nothing is left running. Run as root.
#   scripts/systemd-package-test.sh [--prepare]   (--prepare: only make the tree)
# Prints "systemd-package-test: N passed, N failed, N skipped" last.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/lib/checks.sh
. scripts/lib/container.sh

[ "$(id -u)" -eq 0 ] || { echo "systemd-package-test: must run as root (debootstrap, nspawn)"; exit 1; }
# The exposure systemd-analyze may report for the unit at most.
max_exposure=${TW_MAX_EXPOSURE:-6.0}

work=$(mktemp -d /tmp/twnt-systemd.XXXXXX)
container_init systemd
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  container_cleanup
  rm -rf "$work"
}
trap cleanup EXIT

# The machine cannot run the cases: says why and ends CI's step with success.
cannot() {
  echo "systemd-package-test: cannot boot a systemd container here: $1"
  [ $# -gt 1 ] && printf '%s\n' "$2" | tail -n 20 | sed 's/^/      /'
  skip "the package under a real systemd ($1)"
  summary systemd-package-test
  exit 0
}

# ---- what it needs ---------------------------------------------------------------
scripts/install-deps.sh debootstrap systemd-container >"$work/deps.log" 2>&1 ||
  cannot "installing debootstrap and systemd-container failed" "$(cat "$work/deps.log")"
# --prepare: only the tree (CI makes it while it compiles).
if [ "${1:-}" = --prepare ]; then
  make_tree
  exit 0
fi
make_tree
debs=${TW_PACKAGES_DIR:-$root/build/package/packages}
if ! ls "$debs"/twnt_*-1_*.deb >/dev/null 2>&1; then
  echo "== building the packages (preset package)"
  { timeout 1500 cmake --preset package && timeout 1500 cmake --build --preset package; } \
    >"$work/package.log" 2>&1 || { fail "the packages build" "$(tail -30 "$work/package.log")"; summary systemd-package-test; exit 1; }
fi
deb1=$(ls "$debs"/twnt_*-1_*.deb | head -n1)
# Revision 2 of the same version: the same files under the next revision.
mkdir -p "$work/debs" "$work/r2" "$work/host"
cp "$deb1" "$work/debs/"
dpkg-deb -R "$deb1" "$work/r2" && sed -i 's/^Version: \(.*\)-1$/Version: \1-2/' "$work/r2/DEBIAN/control" &&
  dpkg-deb -b "$work/r2" "$work/debs/$(basename "$deb1" | sed 's/-1_/-2_/')" >/dev/null ||
  { fail "revision 2 of the package is made"; summary systemd-package-test; exit 1; }
deb1=/debs/$(basename "$deb1")
deb2=${deb1/-1_/-2_}
# The receiver runs here, from the package.
dpkg-deb -x "$work/debs/${deb1#/debs/}" "$work/host"
button=$root/build/default/test/support/tw_service_button
if [ ! -x "$button" ]; then
  timeout 1500 cmake --build build/default --target tw_service_button >"$work/button.log" 2>&1 ||
    { fail "tw_service_button builds" "$(tail -20 "$work/button.log")"; summary systemd-package-test; exit 1; }
fi

# ---- boot --------------------------------------------------------------------------------
container_boot --bind-ro="$work/debs:/debs" --bind-ro="$button:/usr/local/bin/tw_service_button"

unit=TallwatchClient.service
active() { [ "$(in_ct 20 systemctl is-active "$unit" 2>/dev/null)" = active ]; }
inactive() { ! active; }
main_pid() { in_ct 20 systemctl show -p MainPID --value "$unit" 2>/dev/null; }
not_enabled() { [ "$(in_ct 20 systemctl is-enabled "$unit" 2>/dev/null)" != enabled ]; }
# Whether the agent runs again under another main process than $1.
restarted() {
  local p
  p=$(main_pid)
  [ -n "$p" ] && [ "$p" != 0 ] && [ "$p" != "$1" ] && active
}
reports() { grep -ac '^status [^ ]*\.mem ' "$work/twrecv.out"; }
has_more() { [ "$(reports)" -gt "$1" ]; }
# Waits for more reports than $1 (within $2 seconds).
more_reports() { waitfor "$2" has_more "$1"; }
button() { in_ct 60 tw_service_button "$@" 2>&1; }
# Whether an agent process runs in the container (minbase has no pgrep).
agent_runs() {
  in_ct 20 sh -c 'for c in /proc/[0-9]*/comm; do [ "$(cat "$c" 2>/dev/null)" = twnt ] && exit 0; done; exit 1'
}
twrecv_up() {
  start_twrecv "$work/host/usr/bin/twrecv" "$work/twrecv.out" "$@" &&
    pids+=("$recv_pid")
}
# The cycle: reports arrive within two of them (and the start).
timer=3
within=$((2 * timer + 20))

# ---- install, start, reports -------------------------------------------------------------
# A host without libssl3 (this tree's systemd brought it; taken away here):
# dpkg must refuse to configure the agent without it, or the agent installs
# and then sends nothing once a KeyCode is set. apt then brings it.
in_ct 60 dpkg --purge --force-depends libssl3 >/dev/null 2>&1
has_libssl3() { in_ct 20 dpkg -s libssl3 >/dev/null 2>&1; }
check "the container has no libssl3 before the install" not has_libssl3
out=$(in_ct 120 dpkg -i "$deb1" 2>&1)
if grep -q "twnt depends on libssl3" <<<"$out"; then
  pass "without libssl3 dpkg -i leaves twnt unconfigured (it depends on libssl3)"
else
  fail "without libssl3 dpkg -i leaves twnt unconfigured (it depends on libssl3)" "$(tail -8 <<<"$out")"
fi
in_ct 300 apt-get -f install -y -q >"$work/fix.log" 2>&1
check "apt brings libssl3 for the agent" has_libssl3
in_ct 120 dpkg --purge twnt >/dev/null 2>&1
out=$(in_ct 300 apt-get install -y -q "$deb1" 2>&1)
if [ "$(in_ct 20 dpkg-query -W -f='${Status}' twnt 2>/dev/null)" = "install ok installed" ]; then
  pass "apt install ${deb1#/debs/} installs the package"
else
  fail "apt install ${deb1#/debs/} installs the package" "$(tail -20 <<<"$out")"
  summary systemd-package-test
  exit 1
fi
check "the package enables nothing" not_enabled
check "the package starts nothing" inactive

twrecv_up || { fail "twrecv listens on 127.0.0.1" "$(cat "$work/twrecv.out.err")"; summary systemd-package-test; exit 1; }
out=$(in_ct 60 twnt -install 127.0.0.1 N "$port" 2>&1)
check "twnt -install 127.0.0.1 N $port enables the service" \
  test "$(in_ct 20 systemctl is-enabled "$unit" 2>&1)" = enabled
[ "$(in_ct 20 systemctl is-enabled "$unit" 2>&1)" = enabled ] || echo "      $out"
check "twsetting sets the cycle to $timer seconds" in_ct 20 twsetting Timer=$timer
in_ct 60 systemctl start "$unit"
check "systemctl start: systemctl is-active says active" waitfor 20 active
check "systemctl start: the agent runs" agent_runs
if more_reports 0 "$within"; then
  pass "the service's reports arrive at twrecv on 127.0.0.1 within two cycles"
else
  fail "the service's reports arrive at twrecv on 127.0.0.1 within two cycles" \
    "$(in_ct 20 journalctl -u "$unit" --no-pager | tail -20)"
fi

# ---- KeyCode: encrypted reports ----------------------------------------------------------------
key=Container-Key-7
check "twsetting sets a KeyCode" in_ct 20 twsetting KeyCode=$key
if waitfor "$within" grep -aq "encrypted message, but no --key was given" "$work/twrecv.out" "$work/twrecv.out.err"; then
  pass "with a KeyCode the reports arrive encrypted (twrecv without --key cannot open them)"
else
  fail "with a KeyCode the reports arrive encrypted" "$(tail -n 5 "$work/twrecv.out" "$work/twrecv.out.err")"
fi
# A receiver with the key on the same port: the agent's settings stay.
kill "$recv_pid" 2>/dev/null; wait "$recv_pid" 2>/dev/null
"$work/host/usr/bin/twrecv" --bind 127.0.0.1 --port "$port" --key "$key" \
  >"$work/twrecv.out" 2>"$work/twrecv.out.err" &
recv_pid=$!
pids+=("$recv_pid")
if more_reports 0 "$within"; then
  pass "twrecv --key opens the encrypted reports"
else
  fail "twrecv --key opens the encrypted reports" "$(tail -n 5 "$work/twrecv.out" "$work/twrecv.out.err")"
fi

# ---- kill -9: restarted after RestartSec -------------------------------------------------------
# The restart pause made short for the test, by a drop-in as an
# administrator would; Restart= stays the package's.
in_ct 20 mkdir -p /etc/systemd/system/$unit.d
in_ct 20 sh -c "printf '[Service]\nRestartSec=2\n' >/etc/systemd/system/$unit.d/restart.conf"
in_ct 30 systemctl daemon-reload
pid=$(main_pid)
in_ct 20 sh -c "kill -9 $pid"
if waitfor 30 restarted "$pid"; then
  pass "kill -9 of the main process: systemd starts the agent again"
else
  fail "kill -9 of the main process: systemd starts the agent again" "$(in_ct 20 systemctl status "$unit" --no-pager 2>&1 | tail -8)"
fi
journal=$(in_ct 20 journalctl -u "$unit" --no-pager 2>&1)
if grep -q "status=9/KILL" <<<"$journal" && grep -qi "scheduled restart job" <<<"$journal"; then
  pass "the journal shows the kill and the restart"
else
  fail "the journal shows the kill and the restart" "$(tail -10 <<<"$journal")"
fi
check "reports resume after the restart" more_reports "$(reports)" "$within"
in_ct 20 rm -rf /etc/systemd/system/$unit.d
in_ct 30 systemctl daemon-reload

# ---- twnt -stop/-start, systemctl, the editor's button agree -----------------------------------
in_ct 60 twnt -stop >/dev/null 2>&1
check "twnt -stop: systemctl says inactive" waitfor 20 inactive
check "twnt -stop: no agent runs" not agent_runs
check "the editor's button reads \"Start Service\" for the stopped agent" \
  test "$(button)" = "Start Service"
in_ct 60 twnt -start >/dev/null 2>&1
check "twnt -start: systemctl says active" waitfor 20 active
check "the editor's button reads \"Stop Service\" for the running agent" \
  test "$(button)" = "Stop Service"
check "the editor's \"Stop Service\" answers \"Start Service\"" test "$(button click)" = "Start Service"
check "the editor's \"Stop Service\" stops the agent (systemctl: inactive)" waitfor 20 inactive
check "the editor's \"Start Service\" answers \"Stop Service\"" test "$(button click)" = "Stop Service"
check "the editor's \"Start Service\" starts the agent (systemctl: active)" waitfor 20 active
in_ct 60 systemctl stop "$unit"
check "systemctl stop: the editor's button reads \"Start Service\"" test "$(button)" = "Start Service"
in_ct 60 systemctl start "$unit"
check "systemctl start: the editor's button reads \"Stop Service\"" test "$(button)" = "Stop Service"
check "reports arrive after the starts" more_reports "$(reports)" "$within"

# ---- unit hardening ------------------------------------------------------------------------------
security=$(in_ct 60 systemd-analyze security --no-pager "$unit" 2>&1)
exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$security")
echo "      systemd-analyze security $unit: ${exposure:-?} (at most $max_exposure)"
if [ -n "$exposure" ] && awk -v e="$exposure" -v m="$max_exposure" 'BEGIN { exit !(e <= m) }'; then
  pass "systemd-analyze security: exposure $exposure, at most $max_exposure"
else
  fail "systemd-analyze security: exposure at most $max_exposure" "$(tail -n 5 <<<"$security")"
fi

# ---- upgrade, remove, purge ---------------------------------------------------------------------------
settings=$(in_ct 20 cat /var/lib/twnt/registry.reg)
pid=$(main_pid)
out=$(in_ct 300 apt-get install -y -q "$deb2" 2>&1)
check "apt install of revision 2 upgrades the package" \
  test "$(in_ct 20 dpkg-query -W -f='${Version}' twnt)" = "$(dpkg-deb -f "$work/debs/${deb2#/debs/}" Version)"
new=$(main_pid)
if active && [ -n "$new" ] && [ "$new" != 0 ] && [ "$new" != "$pid" ]; then
  pass "the upgrade restarts the running agent"
else
  fail "the upgrade restarts the running agent (main PID $pid, then $new)" "$(tail -10 <<<"$out")"
fi
check "the upgrade keeps the settings" test "$(in_ct 20 cat /var/lib/twnt/registry.reg)" = "$settings"
check "reports arrive after the upgrade" more_reports "$(reports)" "$within"

in_ct 300 apt-get remove -y -q twnt >"$work/remove.log" 2>&1
check "apt remove stops the agent" waitfor 20 inactive
check "apt remove: no agent runs" not agent_runs
check "apt remove disables the service" not_enabled
check "apt remove keeps /var/lib/twnt and the settings" \
  test "$(in_ct 20 cat /var/lib/twnt/registry.reg 2>/dev/null)" = "$settings"
in_ct 300 apt-get purge -y -q twnt >"$work/purge.log" 2>&1
check "apt purge deletes /var/lib/twnt" not in_ct 20 test -e /var/lib/twnt
check "apt purge deletes the unit twnt -install wrote" not in_ct 20 test -e /etc/systemd/system/$unit

summary systemd-package-test
