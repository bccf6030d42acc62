#!/usr/bin/env bash
# Resident memory of an idle agent: twnt -app with a long Timer, measured
# while it sleeps between cycles. Usage: scripts/measure-rss.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release}/twnt
dir=$(mktemp -d)
trap 'rm -rf "$dir"; kill $pid 2>/dev/null || true' EXIT
TWSETTING=${1:-build/release}/twsetting scripts/write-settings.sh "$dir/registry.reg" 127.0.0.1:9 600
TWNT_REGISTRY="$dir/registry.reg" TWNT_EVENTLOG="$dir/events.log" TEMP="$dir" "$bin" -app &
pid=$!
for _ in $(seq 100); do
  grep -q "twmain: Sleeping" "$dir/TW.LOG" 2>/dev/null && break
  sleep 0.1
done
sleep 1
echo "idle twnt: $(grep VmRSS /proc/$pid/status)"
kill -TERM $pid; wait $pid || true
