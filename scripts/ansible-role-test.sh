#!/usr/bin/env bash
# The Ansible role packaging/ansible/roles/twnt against a real systemd: the
# booted Debian of scripts/systemd-package-test.sh (scripts/lib/container.sh)
# is the inventory's one host. Ansible reaches it with the connection
# community.docker.nsenter, which runs each command in the namespaces of the
# container's PID 1 (as that script's own in_ct does), so that systemctl and
# the role's systemd tasks talk to the container's systemd. Cases:
#   - the first run installs the package built by the package preset, writes
#     the settings with twnt -install and twsetting --import (the KeyCode
#     from an ansible-vault encrypted variable), enables and starts the
#     service, and reports "changed";
#   - the agent's reports arrive, encrypted, at a twrecv on 127.0.0.1 here
#     (build/default/twrecv --key);
#   - the second run with the same variables reports no change;
#   - a changed variable: --check reports the change and writes nothing,
#     the next run writes only it and says what changed.
# Where the container cannot be made or booted, or Ansible lacks the
# connection, says why and ends with status 0 (the cases are skipped). Every
# step is bounded; nothing is left running. Run as root.
#   scripts/ansible-role-test.sh
# Prints "ansible-role-test: N passed, N failed, N skipped" last.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/lib/checks.sh
. scripts/lib/container.sh

[ "$(id -u)" -eq 0 ] || { echo "ansible-role-test: must run as root (debootstrap, nspawn)"; exit 1; }
work=$(mktemp -d /tmp/twnt-ansible.XXXXXX)
container_init ansible
recv_pid=""
cleanup() {
  [ -n "$recv_pid" ] && kill "$recv_pid" 2>/dev/null
  container_cleanup
  rm -rf "$work"
}
trap cleanup EXIT

cannot() {
  echo "ansible-role-test: cannot run the role against a container here: $1"
  [ $# -gt 1 ] && printf '%s\n' "$2" | tail -n 20 | sed 's/^/      /'
  skip "the Ansible role against a systemd container ($1)"
  summary ansible-role-test
  exit 0
}

# ---- what it needs -----------------------------------------------------------------------
scripts/install-deps.sh debootstrap systemd-container ansible >"$work/deps.log" 2>&1 ||
  cannot "installing debootstrap, systemd-container and ansible failed" "$(cat "$work/deps.log")"
timeout 60 ansible-doc -t connection community.docker.nsenter >/dev/null 2>&1 ||
  cannot "Ansible has no connection community.docker.nsenter (collection community.docker)"
make_tree
# Ansible's modules run with the host's Python: fetched into the tree's
# package cache once, installed into each run's overlay from there.
if ! ls "$tree"/var/cache/apt/archives/python3_*.deb >/dev/null 2>&1; then
  timeout 600 chroot "$tree" apt-get install -y -qq --download-only python3 >"$work/python.log" 2>&1 ||
    cannot "fetching python3 into the tree failed" "$(cat "$work/python.log")"
fi
debs=${TW_PACKAGES_DIR:-$root/build/package/packages}
if ! ls "$debs"/twnt_*-1_*.deb >/dev/null 2>&1; then
  echo "== building the packages (preset package)"
  { timeout 1500 cmake --preset package && timeout 1500 cmake --build --preset package; } \
    >"$work/package.log" 2>&1 || { fail "the packages build" "$(tail -30 "$work/package.log")"; summary ansible-role-test; exit 1; }
fi
deb=$(ls "$debs"/twnt_*-1_*.deb | head -n1)
twrecv=$root/build/default/twrecv
if [ ! -x "$twrecv" ]; then
  timeout 1500 cmake --build build/default --target twrecv >"$work/twrecv.log" 2>&1 ||
    { fail "twrecv builds" "$(tail -20 "$work/twrecv.log")"; summary ansible-role-test; exit 1; }
fi

# ---- the host ----------------------------------------------------------------------------
container_boot
in_ct 300 apt-get install -y -q --no-download python3 >"$work/python-install.log" 2>&1 ||
  cannot "installing python3 in the container failed" "$(cat "$work/python-install.log")"
key=Fleet-Key-31
start_twrecv "$twrecv" "$work/twrecv.out" --key "$key" ||
  { fail "twrecv listens on 127.0.0.1" "$(cat "$work/twrecv.out.err")"; summary ansible-role-test; exit 1; }

# ---- the playbook ------------------------------------------------------------------------
# The connection is root already: no become (the container has no sudo).
# group_vars/monitored/: the group's variables and its vault.
mkdir -p "$work/play/group_vars/monitored" "$work/home"
cat >"$work/play/hosts" <<INVENTORY
[monitored]
twnt-test ansible_connection=community.docker.nsenter ansible_nsenter_pid=$leader ansible_python_interpreter=/usr/bin/python3 ansible_become=false
INVENTORY
cp packaging/ansible/site.yml "$work/play/site.yml"
# The variables of the fleet; the KeyCode in a vault.
vars() {
  cat <<VARS
twnt_deb: $deb
twnt_display: ["127.0.0.1"]
twnt_port: $port
twnt_timer: $1
twnt_tests: {procs: P, msgs: D, cpu: P, disk: P, netprotl: D, mem: P, pagefile: D, svcs: D, netdata: D, wmitest: D}
twnt_thresholds: {CPU: [85, 97], DISK: [90, 95], PAGEFILE: [80, 90]}
twnt_settings: {AliasName: fleet-host-1}
VARS
}
vars 3 >"$work/play/group_vars/monitored/vars.yml"
echo "vault-pass-31" >"$work/vault.pass"
printf 'vault_twnt_keycode: %s\n' "$key" >"$work/play/group_vars/monitored/vault.yml"
timeout 60 ansible-vault encrypt --vault-password-file "$work/vault.pass" \
  "$work/play/group_vars/monitored/vault.yml" >"$work/vault.log" 2>&1 ||
  { fail "ansible-vault encrypts the KeyCode" "$(cat "$work/vault.log")"; summary ansible-role-test; exit 1; }

# play NAME [OPTIONS...]: one bounded run of the playbook; its output in
# $work/NAME.log, its status in rc.
play() {
  local name=$1; shift
  (cd "$work/play" && timeout -k 10 300 env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME="$work/home" LANG=C.UTF-8 ANSIBLE_ROLES_PATH="$root/packaging/ansible/roles" \
    ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_LOCAL_TEMP="$work/home/tmp" \
    ANSIBLE_REMOTE_TMP=/tmp/.ansible ansible-playbook -i hosts site.yml \
    --vault-password-file "$work/vault.pass" "$@") >"$work/$name.log" 2>&1
  rc=$?
}
# The recap's count of a kind (ok, changed, failed) for the host.
recap() { sed -n "s/^twnt-test *:.* $1=\([0-9]*\).*/\1/p" "$work/$2.log" | tail -n1; }
setting() { in_ct 20 twsetting "$1" 2>&1; }
unit=TallwatchClient.service
reports() { grep -ac '^status [^ ]*\.mem ' "$work/twrecv.out"; }
has_more() { [ "$(reports)" -gt "$1" ]; }

# ---- first run: install --------------------------------------------------------------------
play first
if [ "$rc" -eq 0 ] && [ "$(recap failed first)" = 0 ] && [ "$(recap changed first)" -gt 0 ]; then
  pass "the first run installs and reports changed=$(recap changed first)"
else
  fail "the first run installs and reports changes (status $rc)" "$(tail -n 30 "$work/first.log")"
fi
check "the package is installed" \
  test "$(in_ct 20 dpkg-query -W -f='${Status}' twnt 2>&1)" = "install ok installed"
check "the service is enabled" test "$(in_ct 20 systemctl is-enabled "$unit" 2>&1)" = enabled
check "the service is active" test "$(in_ct 20 systemctl is-active "$unit" 2>&1)" = active
check "the settings are the variables' (Timer 3, port $port, AliasName)" \
  test "$(setting Timer) $(setting IPport) $(setting AliasName)" = "3 $port fleet-host-1"
check "the thresholds and tests are the variables'" \
  test "$(setting Defaults)|$(setting Tests)" = "CPU:85:97 DISK:90:95 PAGEFILE:80:90|procs:P msgs:D cpu:P disk:P netprotl:D mem:P pagefile:D svcs:D netdata:D wmitest:D"
check "the KeyCode is the vault's" test "$(setting KeyCode)" = "$key"
check "the run's output shows no KeyCode" not grep -q "$key" "$work/first.log"
if waitfor 40 has_more 0; then
  pass "the agent's encrypted reports arrive at twrecv --key on 127.0.0.1"
else
  fail "the agent's encrypted reports arrive at twrecv --key on 127.0.0.1" \
    "$(tail -n 5 "$work/twrecv.out" "$work/twrecv.out.err"; in_ct 20 journalctl -u "$unit" --no-pager | tail -n 10)"
fi

# ---- second run: nothing to change -----------------------------------------------------------
settings=$(in_ct 20 cat /var/lib/twnt/registry.reg)
play second
if [ "$rc" -eq 0 ] && [ "$(recap changed second)" = 0 ] && [ "$(recap failed second)" = 0 ]; then
  pass "the second run reports no change (changed=0)"
else
  fail "the second run reports no change (status $rc, changed=$(recap changed second))" \
    "$(grep -B2 -A6 '^changed:' "$work/second.log" | head -n 40)"
fi
check "the second run leaves the settings file as it was" \
  test -n "$settings" -a "$(in_ct 20 cat /var/lib/twnt/registry.reg)" = "$settings"

# ---- a changed variable --------------------------------------------------------------------
vars 4 >"$work/play/group_vars/monitored/vars.yml"
play check --check
if [ "$rc" -eq 0 ] && [ "$(recap changed check)" = 1 ] && [ "$(setting Timer)" = 3 ]; then
  pass "--check with Timer 4 reports one change and writes nothing"
else
  fail "--check with Timer 4 reports one change and writes nothing (status $rc)" "$(tail -n 30 "$work/check.log")"
fi
play third
if [ "$rc" -eq 0 ] && [ "$(recap changed third)" = 1 ] && [ "$(setting Timer)" = 4 ]; then
  pass "a run with Timer 4 changes that setting alone (changed=1)"
else
  fail "a run with Timer 4 changes that setting alone (status $rc, changed=$(recap changed third))" \
    "$(tail -n 30 "$work/third.log")"
fi
check "the run says what changed (\"Timer: 3 -> 4\")" grep -q '"Timer: 3 -> 4"' "$work/third.log"
check "the service is still active" test "$(in_ct 20 systemctl is-active "$unit" 2>&1)" = active

summary ansible-role-test
