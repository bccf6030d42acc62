# Debian's package tool for the install scripts (sourced): apt_get ARGS...
# runs apt-get as root (through sudo when needed, non-interactive) and waits
# up to ten minutes for a lock another installer holds (a second build, the
# system's own updates) instead of failing at once. apt-get waits for dpkg's
# lock by itself; the package lists' lock of "update" it does not wait for.
apt_get() {
  local sudo="" out rc tries=0
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  while true; do
    rc=0
    out=$($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@" 2>&1) ||
      rc=$?
    if [ $rc -ne 0 ] && [ $tries -lt 120 ] && grep -q "Could not get lock" <<<"$out"; then
      tries=$((tries + 1))
      sleep 5
      continue
    fi
    # What it printed matters when it failed.
    [ $rc -ne 0 ] && printf '%s\n' "$out" >&2
    return $rc
  done
}

# apt_update: the package lists, read again. A mirror in the middle of a
# sync fails one of its indexes for a few minutes ("File has unexpected
# size ... Mirror sync in progress?"); that is tried again twice, and then
# the lists at hand are used: the install that follows still fails, and
# says what, when a package cannot be had from them.
apt_update() {
  local try
  for try in 1 2 3; do
    apt_get update -qq && return 0
    [ $try -lt 3 ] && sleep 30
  done
  echo "warning: apt-get update failed three times; installing from the package lists at hand" >&2
  return 0
}
