#!/usr/bin/env bash
# Resident memory of an idle agent: twnt -app with a long Timer, measured
# while it sleeps between cycles. Usage: scripts/measure-rss.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release}/twnt
dir=$(mktemp -d)
pid=
trap 'rm -rf "$dir"; [ -n "$pid" ] && kill $pid 2>/dev/null || true' EXIT
# The settings as -install writes them (the service unit goes to $dir), with
# a discard address as the display server, the log on and a long cycle.
export TWNT_REGISTRY="$dir/registry.reg" TWNT_EVENTLOG="$dir/events.log" TWNT_UNIT_DIR="$dir/units" TEMP="$dir"
mkdir -p "$TWNT_UNIT_DIR"
"$bin" -install 127.0.0.1:9 N 1984 >/dev/null
"$(dirname "$bin")/twsetting" Timer=600 Activatelog=Y >/dev/null
"$bin" -app &
pid=$!
for _ in $(seq 100); do
  grep -q "twmain: Sleeping" "$dir/TW.LOG" 2>/dev/null && break
  sleep 0.1
done
sleep 1
echo "idle twnt: $(grep VmRSS /proc/$pid/status)"
kill -TERM $pid; wait $pid || true
