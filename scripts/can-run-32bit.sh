#!/usr/bin/env bash
# Whether this machine can execute 32-bit x86 programs: prints "yes" or "no"
# and exits 0 or 1. It tries one such program, bounded in time (TW_PROBE_TIMEOUT
# seconds, default 10): by default the 32-bit loader of Debian's i386 libc,
# which the 32-bit Wine needs; some machines answer "Exec format error".
#
#   scripts/can-run-32bit.sh [PROGRAM [ARGS...]]
# A program that is missing, cannot be executed, fails or does not answer in
# time means "no"; its error is shown on standard error.
set -uo pipefail
if [ $# -eq 0 ]; then
  set -- /lib/ld-linux.so.2 --version
fi
# bash runs the program: timeout's own exec would hand a file the kernel
# refuses ("Exec format error") to /bin/sh as a script.
err=$(timeout -k 2 "${TW_PROBE_TIMEOUT:-10}" bash -c 'exec "$@"' probe "$@" 2>&1 >/dev/null)
rc=$?
if [ $rc -eq 0 ]; then
  echo yes
  exit 0
fi
case $rc in
  124|137) echo "can-run-32bit: $1 did not answer within ${TW_PROBE_TIMEOUT:-10} s" >&2 ;;
  *) echo "can-run-32bit: $1 failed (exit $rc): ${err%%$'\n'*}" >&2 ;;
esac
echo no
exit 1
