#!/usr/bin/env bash
# The Debian packages end to end, on this machine and in its real system
# paths (run as root; CI does):
#   - builds them (CMake preset "package") and checks them with lintian: no
#     error, and no warning beyond the accepted ones below;
#   - dpkg -i (then apt-get -f install), dpkg -L, and what the maintainer
#     scripts did: /var/lib/twnt (0700, no settings), nothing enabled or running;
#   - the installed twnt -install against a temporary settings file and unit
#     folder (the unit it writes is the packaged one), then twnt -app for a
#     cycle reporting to the installed twrecv on loopback;
#   - twnt -install into the system's paths, dpkg -r (service stopped and
#     disabled, settings kept), dpkg --purge (nothing of the package left).
# What needs a running systemd (starting and stopping the real service) is
# skipped without one, and says so. Refuses to touch an existing
# installation of the agent outside CI.
# Prints "deb-package-test: N passed, N failed, N skipped" last.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/lib/checks.sh

# Warnings we ship with (see README, "Debian packages").
accepted_warnings="initial-upload-closes-no-bugs"

# The installed agent's own places, not an environment's.
unset TWNT_REGISTRY TWNT_UNIT_DIR TWNT_EVENTLOG TWNT_WMI_FIXTURE
[ "$(id -u)" -eq 0 ] || { echo "deb-package-test: must run as root (dpkg -i)"; exit 1; }
scripts/install-deps.sh lintian dpkg-dev file || exit 1

work=$(mktemp -d /tmp/twnt-deb.XXXXXX)
pids=()
packages=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  if known twnt || known twnt-editor; then
    dpkg_locked --purge twnt twnt-editor >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# dpkg and apt wait for each other's lock (another installer may be running),
# within bounds.
dpkg_locked() {
  local out rc end=$((SECONDS + 120))
  while :; do
    out=$(timeout 300 dpkg "$@" 2>&1); rc=$?
    if [ $rc -ne 0 ] && grep -qE "lock was locked|Could not get lock|is locked" <<<"$out" && [ $SECONDS -lt $end ]; then
      sleep 2
      continue
    fi
    printf '%s\n' "$out"
    return $rc
  done
}
known() { dpkg-query -W "$1" >/dev/null 2>&1; }
installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }
# Whether a process runs the installed agent.
agent_running() {
  local exe
  for exe in /proc/[0-9]*/exe; do
    [ "$(readlink "$exe" 2>/dev/null)" = /usr/bin/twnt ] && return 0
  done
  return 1
}
systemd_up() { [ -d /run/systemd/system ]; }

# ---- an installation that is not ours stays untouched -----------------------
if known twnt || known twnt-editor || [ -e /var/lib/twnt ] ||
   [ -e /etc/systemd/system/TallwatchClient.service ]; then
  if [ "${CI:-}" != true ]; then
    echo "deb-package-test: this machine has an installation of the agent; not touching it"
    exit 1
  fi
  echo "deb-package-test: purging what an earlier run left"
  dpkg_locked --purge twnt twnt-editor >/dev/null
  rm -rf /var/lib/twnt /etc/systemd/system/TallwatchClient.service \
    /etc/systemd/system/*.wants/TallwatchClient.service
fi

# ---- build ------------------------------------------------------------------
echo "== building the packages (preset package)"
rm -rf build/package/packages
if timeout 1500 cmake --preset package >"$work/configure.log" 2>&1 &&
   timeout 1500 cmake --build --preset package >"$work/build.log" 2>&1; then
  pass "the packages build"
else
  fail "the packages build" "$(tail -30 "$work/configure.log" "$work/build.log" 2>/dev/null)"
  summary deb-package-test
  exit 1
fi
for f in build/package/packages/*.deb; do packages+=("$PWD/$f"); done
editor=0
has_program build/package twntcfg && editor=1
names=$(for p in "${packages[@]}"; do dpkg-deb -f "$p" Package; done | sort | tr '\n' ' ')
expected="twnt "
[ $editor = 1 ] && expected="twnt twnt-editor "
check "the packages are: $expected" test "$names" = "$expected"

for p in "${packages[@]}"; do
  pkg=$(dpkg-deb -f "$p" Package)
  version=$(dpkg-deb -f "$p" Version)
  check "$pkg has the version 5.01 and a package revision" test "$version" = 5.01-1
  depends=$(dpkg-deb -f "$p" Depends)
  if grep -q "libc6 (>=" <<<"$depends"; then
    pass "$pkg depends on the libraries its programs link ($depends)"
  else
    fail "$pkg depends on the libraries its programs link" "$depends"
  fi
  if [ "$pkg" = twnt ]; then
    # Loaded when first needed, so dpkg-shlibdeps does not see them.
    libcrypto_pkg=$(dpkg-query -S '*/libcrypto.so.3' 2>/dev/null | sed -n '1s/[:,].*//p')
    for lib in "${libcrypto_pkg:-libssl3}" libsystemd0; do
      if grep -qE "(^|, )$lib( |,|$)" <<<"$depends"; then
        pass "twnt depends on $lib, which the agent loads when first needed"
      else
        fail "twnt depends on $lib, which the agent loads when first needed" "$depends"
      fi
    done
  fi
  report=$(timeout 300 lintian --allow-root "$p" 2>&1)
  errors=$(grep '^E:' <<<"$report")
  unaccepted=$(grep '^W:' <<<"$report" | while read -r _ _ tag _; do
    grep -qw -- "$tag" <<<"$accepted_warnings" || echo "$tag"
  done)
  if [ -z "$errors" ] && [ -z "$unaccepted" ]; then
    pass "lintian: $pkg has no error and only accepted warnings"
  else
    fail "lintian: $pkg has no error and only accepted warnings" "$report"
  fi
  grep '^W:' <<<"$report" | sed 's/^/      accepted: /'
done
if [ $editor = 1 ]; then
  editor_deb=$(printf '%s\n' "${packages[@]}" | grep /twnt-editor_)
  if grep -q "libqt6widgets6" <<<"$(dpkg-deb -f "$editor_deb" Depends)"; then
    pass "twnt-editor depends on the Qt 6 runtime"
  else
    fail "twnt-editor depends on the Qt 6 runtime" "$(dpkg-deb -f "$editor_deb" Depends)"
  fi
fi

# ---- install ------------------------------------------------------------------
echo "== dpkg -i ${packages[*]##*/}"
if ! dpkg_locked -i "${packages[@]}" >"$work/dpkg-i.log"; then
  DEBIAN_FRONTEND=noninteractive timeout 600 apt-get -o DPkg::Lock::Timeout=120 \
    -f install -y -qq >>"$work/dpkg-i.log" 2>&1
fi
if installed twnt; then
  pass "dpkg -i installs twnt"
else
  fail "dpkg -i installs twnt" "$(cat "$work/dpkg-i.log")"
  summary deb-package-test
  exit 1
fi
[ $editor = 1 ] && check "dpkg -i installs twnt-editor" installed twnt-editor

listing=$(dpkg -L twnt)
want=(/usr/bin/twnt /usr/bin/twrecv /usr/lib/systemd/system/TallwatchClient.service
      /usr/share/doc/twnt/README.md /usr/share/doc/twnt/copyright
      /usr/share/doc/twnt/changelog.Debian.gz)
want+=(/usr/share/man/man8/twnt.8.gz /usr/share/man/man1/twrecv.1.gz)
has_program build/package twwmi && want+=(/usr/bin/twwmi /usr/share/man/man1/twwmi.1.gz)
has_program build/package twsetting && want+=(/usr/bin/twsetting /usr/share/man/man8/twsetting.8.gz)
missing=""
for f in "${want[@]}"; do
  { grep -qx "$f" <<<"$listing" && [ -f "$f" ]; } || missing+="$f "
done
check "dpkg -L twnt lists the programs, the unit and the documentation, all in place" test -z "$missing"
[ -n "$missing" ] && echo "      missing: $missing"
if [ $editor = 1 ]; then
  editor_listing=$(dpkg -L twnt-editor)
  check "dpkg -L twnt-editor lists twntcfg and its manual page" \
    test "$(grep -cxF -e /usr/bin/twntcfg -e /usr/share/man/man1/twntcfg.1.gz <<<"$editor_listing")" = 2
fi
files=$( { dpkg -L twnt; [ $editor = 1 ] && dpkg -L twnt-editor; } |
         while read -r f; do [ -d "$f" ] || echo "$f"; done)

check "the settings directory /var/lib/twnt exists, root's only (0700)" \
  test "$(stat -c '%a %U' /var/lib/twnt 2>/dev/null)" = "700 root"
check "installing writes no settings" test -z "$(ls -A /var/lib/twnt 2>/dev/null)"
check "installing enables nothing" test ! -e /etc/systemd/system/multi-user.target.wants/TallwatchClient.service
check "installing starts nothing" not agent_running
if systemd_up; then
  state=$(systemctl is-enabled TallwatchClient.service 2>&1)
  check "systemd knows the unit and has it disabled" test "$state" = disabled
else
  skip "systemd knows the installed unit (no running systemd here)"
fi

# ---- the installed programs: install into temporary places, one cycle ----------
start_twrecv /usr/bin/twrecv "$work/twrecv.out" || fail "the installed twrecv listens" "$(cat "$work/twrecv.out.err")"
pids+=("$recv_pid")
mkdir -p "$work/units"
out=$(TWNT_REGISTRY="$work/registry.reg" TWNT_UNIT_DIR="$work/units" timeout 60 \
      /usr/bin/twnt -install 127.0.0.1 N "$port" 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q "Tallwatch Professional Edition Client 5.01 installed." <<<"$out" &&
   grep -q '^@="127.0.0.1"' "$work/registry.reg"; then
  pass "twnt -install 127.0.0.1 N $port writes the settings and the unit"
else
  fail "twnt -install 127.0.0.1 N $port writes the settings and the unit (exit $rc)" "$out"
fi
if cmp -s "$work/units/TallwatchClient.service" /usr/lib/systemd/system/TallwatchClient.service; then
  pass "the packaged unit is the one twnt -install writes"
else
  fail "the packaged unit is the one twnt -install writes" \
    "$(diff "$work/units/TallwatchClient.service" /usr/lib/systemd/system/TallwatchClient.service)"
fi

TWNT_REGISTRY="$work/registry.reg" TWNT_EVENTLOG="$work/events.log" TEMP="$work" \
  timeout -k 5 120 /usr/bin/twnt -app >"$work/app.out" 2>&1 &
app_pid=$!
pids+=("$app_pid")
if waitfor 60 grep -aq '^status [^ ]*\.mem ' "$work/twrecv.out"; then
  pass "twnt -app sends its reports to twrecv"
else
  fail "twnt -app sends its reports to twrecv" "$(head -c 2000 "$work/twrecv.out"; cat "$work/events.log" 2>/dev/null)"
fi
kill -TERM "$app_pid" 2>/dev/null
if waitfor 20 sh -c "! kill -0 $app_pid 2>/dev/null"; then
  wait "$app_pid"; rc=$?
  check "twnt -app ends with status 0 on SIGTERM" test $rc -eq 0
else
  fail "twnt -app ends on SIGTERM"
  kill -KILL "$app_pid" 2>/dev/null
fi

# ---- the service in the system's places ------------------------------------------
wants=/etc/systemd/system/multi-user.target.wants/TallwatchClient.service
if systemd_up; then
  out=$(timeout 60 /usr/bin/twnt -install 127.0.0.1 N "$port" 2>&1); rc=$?
  check "twnt -install enables the service" test $rc -eq 0 -a -L "$wants"
  out=$(timeout 60 /usr/bin/twnt -start 2>&1)
  if waitfor 30 systemctl is-active --quiet TallwatchClient.service; then
    pass "twnt -start starts the service"
  else
    fail "twnt -start starts the service" "$out"
  fi
  lines=$(grep -ac '^status [^ ]*\.mem ' "$work/twrecv.out")
  if waitfor 60 test "$(grep -ac '^status [^ ]*\.mem ' "$work/twrecv.out")" -gt "$lines"; then
    pass "the service's reports arrive at twrecv"
  else
    fail "the service's reports arrive at twrecv" "$(systemctl status TallwatchClient.service 2>&1 | tail -5)"
  fi
elif [ -d /etc/systemd/system ]; then
  skip "starting the service and its reports (no running systemd here)"
  # Without systemd, install the unit the way an image is prepared.
  out=$(TWNT_UNIT_DIR=/etc/systemd/system timeout 60 /usr/bin/twnt -install 127.0.0.1 N "$port" 2>&1); rc=$?
  check "twnt -install writes the unit and enables it (no running systemd: as for an image)" \
    test $rc -eq 0 -a -L "$wants"
else
  skip "the service in the system's places (neither systemd nor /etc/systemd/system here)"
fi
if [ -L "$wants" ]; then
  check "twnt -install wrote the settings into /var/lib/twnt" test -s /var/lib/twnt/registry.reg
  settings=$(cat /var/lib/twnt/registry.reg)
fi

# ---- remove, purge ------------------------------------------------------------
echo "== dpkg -r"
dpkg_locked -r twnt twnt-editor >"$work/dpkg-r.log" 2>&1
check "dpkg -r removes the package and keeps its configuration" \
  test "$(dpkg-query -W -f='${Status}' twnt 2>/dev/null)" = "deinstall ok config-files"
check "dpkg -r removes the programs" test ! -e /usr/bin/twnt -a ! -e /usr/bin/twrecv
if [ -n "${settings:-}" ]; then
  check "dpkg -r disables the service" test ! -e "$wants" -a ! -L "$wants"
  check "dpkg -r keeps the settings file" test "$(cat /var/lib/twnt/registry.reg 2>/dev/null)" = "$settings"
fi
if systemd_up && [ -n "${settings:-}" ]; then
  check "dpkg -r stops the service" sh -c '! systemctl is-active --quiet TallwatchClient.service'
  check "no agent runs after dpkg -r" not agent_running
else
  skip "dpkg -r stops the running service (no running systemd here)"
fi

echo "== dpkg --purge"
dpkg_locked --purge twnt twnt-editor >"$work/dpkg-purge.log" 2>&1
check "dpkg --purge forgets twnt" not known twnt
check "dpkg --purge forgets twnt-editor" not known twnt-editor
left=$(for f in $files /usr/share/doc/twnt /usr/share/doc/twnt-editor /var/lib/twnt /etc/systemd/system/TallwatchClient.service "$wants"; do
  { [ -e "$f" ] || [ -L "$f" ]; } && echo "$f"; done)
check "nothing of the package is left after dpkg --purge" test -z "$left"
[ -n "$left" ] && echo "      left:" $left

summary deb-package-test
