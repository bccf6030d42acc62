# The booted Debian of the package checks (sourced after checks.sh): a
# minimal Debian (debootstrap minbase with systemd, made once and reused)
# booted with systemd-nspawn on a throw-away overlay of it and in a cgroup of
# its own, sharing this machine's network. The sourcing script sets work (a
# scratch folder) and defines cannot REASON [DETAILS], which says why the
# machine cannot run its cases and ends it.

# container_init NAME: the tree (TW_SYSTEMD_ROOT, else build/systemd-root)
# and the cgroup of this run.
container_init() {
  tree=${TW_SYSTEMD_ROOT:-$root/build/systemd-root}
  mirror=${TW_DEBIAN_MIRROR:-http://deb.debian.org/debian}
  cg=twnt-$1-$$
  # The hierarchies nspawn uses: name=systemd and the unified one on a
  # hybrid host, the one tree on a cgroup2-only host.
  if [ -e /sys/fs/cgroup/cgroup.controllers ]; then
    cgdirs=(/sys/fs/cgroup/$cg)
  else
    cgdirs=(/sys/fs/cgroup/systemd/$cg /sys/fs/cgroup/unified/$cg)
  fi
  nspawn_pid=""
  leader=""
}

container_down() {
  local p h end
  [ -n "$nspawn_pid" ] || return 0
  # nspawn powers the container off on SIGTERM.
  kill -TERM "$nspawn_pid" 2>/dev/null
  end=$((SECONDS + 30))
  while kill -0 "$nspawn_pid" 2>/dev/null && [ $SECONDS -lt $end ]; do sleep 0.5; done
  for h in "${cgdirs[@]}"; do
    for p in $(cat $(find "$h" -name cgroup.procs 2>/dev/null) 2>/dev/null); do
      kill -KILL "$p" 2>/dev/null
    done
  done
  wait "$nspawn_pid" 2>/dev/null
  nspawn_pid=""
}

# Powers the container off and removes its cgroup.
container_cleanup() {
  local h
  container_down
  for h in "${cgdirs[@]}"; do
    [ -d "$h" ] && find "$h" -depth -type d -exec rmdir {} \; 2>/dev/null
  done
}

# The tree: minbase bookworm with systemd, made once.
make_tree() {
  [ -e "$tree/.twnt-complete" ] && return 0
  echo "== debootstrap $tree (once)"
  rm -rf "$tree.tmp"
  timeout 1200 debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus bookworm \
    "$tree.tmp" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    cannot "debootstrap failed" "$(tail -20 "$work/debootstrap.log")"
  # The package lists and the agent's dependencies fetched once (downloaded,
  # not installed by the test: the package must bring libssl3 itself).
  timeout 600 chroot "$tree.tmp" sh -c 'apt-get update -qq &&
      apt-get install -y -qq --download-only libssl3' >"$work/prepare.log" 2>&1 ||
    cannot "preparing the tree failed" "$(cat "$work/prepare.log")"
  echo twnt-test >"$tree.tmp/etc/hostname"
  touch "$tree.tmp/.twnt-complete"
  rm -rf "$tree" && mv "$tree.tmp" "$tree"
}

# container_boot [NSPAWN OPTIONS...]: boots the tree and waits until its
# systemd runs; sets leader (the container's PID 1 as seen here).
container_boot() {
  local h state end
  # A cgroup of its own in the hierarchies nspawn uses, so that everything
  # the container ran can be found and ended, and nothing lands at the root.
  for h in "${cgdirs[@]}"; do
    [ -d "$(dirname "$h")" ] || continue
    mkdir "$h" 2>"$work/cg.err" || cannot "creating the cgroup $h failed" "$(cat "$work/cg.err")"
  done
  (
    for h in "${cgdirs[@]}"; do
      [ -d "$h" ] && echo "$BASHPID" >"$h/cgroup.procs"
    done
    exec systemd-nspawn -q -D "$tree" --volatile=overlay -b --register=no --keep-unit \
      -M twnt-test "$@" --console=read-only
  ) </dev/null >"$work/nspawn.log" 2>&1 &
  nspawn_pid=$!
  for _ in $(seq 100); do
    leader=$(ps -o pid= --ppid "$nspawn_pid" 2>/dev/null | tr -d ' ' | head -n1)
    [ -n "$leader" ] && [ "$(cat "/proc/$leader/comm" 2>/dev/null)" = systemd ] && break
    leader=""
    kill -0 "$nspawn_pid" 2>/dev/null || break
    sleep 0.2
  done
  [ -n "$leader" ] || cannot "systemd-nspawn -b did not start systemd" "$(cat "$work/nspawn.log")"
  # Until systemd opens its socket, systemctl cannot reach it.
  end=$((SECONDS + 90))
  while :; do
    state=$(in_ct 90 systemctl is-system-running --wait 2>&1)
    grep -q "Failed to connect to bus" <<<"$state" && [ $SECONDS -lt $end ] || break
    sleep 0.2
  done
  case "$state" in
    running|degraded) echo "== the container runs systemd ($state)" ;;
    *) cannot "the container's systemd did not come up ($state)" \
         "$(cat "$work/nspawn.log"; in_ct 20 systemctl --failed --no-pager 2>&1)" ;;
  esac
  # The agent resolves its own name, as on an installed host (/etc/hosts);
  # minbase has no other source for it.
  in_ct 20 sh -c 'printf "127.0.0.1 localhost\n127.0.1.1 %s\n" "$(hostname)" >/etc/hosts'
}

# in_ct SECONDS COMMAND...: runs a command inside the container.
in_ct() {
  local t=$1; shift
  timeout -k 5 "$t" nsenter -t "$leader" -a \
    env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
