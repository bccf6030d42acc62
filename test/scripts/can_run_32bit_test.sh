#!/usr/bin/env bash
# scripts/can-run-32bit.sh: "yes" only for a program that runs; "no" for one
# the kernel refuses, one that is missing and one that does not answer, the
# last within the probe's bound.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/lib/checks.sh"
probe=$root/scripts/can-run-32bit.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A file the kernel will not execute: an ELF header for no machine it knows.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\377\377' >"$work/foreign"
chmod +x "$work/foreign"

while IFS='|' read -r name want cmd; do
  # shellcheck disable=SC2086  # the command's words
  got=$(TW_PROBE_TIMEOUT=2 "$probe" $cmd 2>/dev/null)
  check "$name: $got" test "$got" = "$want"
done <<EOF2
a program that runs|yes|true
a program the kernel refuses|no|$work/foreign --version
a program that is missing|no|$work/none --version
a program that fails|no|false
EOF2

start=$SECONDS
got=$(TW_PROBE_TIMEOUT=2 "$probe" sleep 60 2>/dev/null)
check "a program that does not answer: $got after $((SECONDS - start)) s" \
  test "$got" = no -a $((SECONDS - start)) -le 6
summary can_run_32bit_test
