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
