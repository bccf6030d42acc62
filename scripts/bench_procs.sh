#!/bin/sh
# Compares the live process snapshot with `ps -e -o pid,comm,time` while
# 1,000 extra sleeping processes run. Needs the release build:
#   cmake --preset release && cmake --build --preset release
# Starts the sleepers, runs the benchmark, and ends exactly the sleepers it
# started (by their process ids), also when interrupted.
set -eu
bench="${1:-build/release/wmi_procs_bench}"
count="${SLEEPERS:-1000}"
pids=""
cleanup() {
    [ -n "$pids" ] && kill $pids 2>/dev/null || true
}
trap cleanup EXIT INT TERM
i=0
while [ "$i" -lt "$count" ]; do
    sleep 600 &
    pids="$pids $!"
    i=$((i + 1))
done
echo "started $count sleeping processes; $(ls -d /proc/[0-9]* | wc -l) processes in all"
"$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
echo "one ps run, timed by the shell:"
time ps -e -o pid,comm,time >/dev/null
