#!/usr/bin/env bash
# Runs the agent's main job on this machine with the bundled defaults: a
# settings file in ./state, a twrecv on loopback as the display server, and
# twnt -app for a couple of monitoring cycles. Shows what arrived and the log.
# Installs what is missing and builds first.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target twnt twrecv twsetting
bin=build/default
state="$PWD/state"
mkdir -p "$state"
rm -f "$state/registry.reg" "$state/TW.LOG" "$state/events.log"
export TWNT_REGISTRY="$state/registry.reg" TWNT_EVENTLOG="$state/events.log" TEMP="$state"
cycles=${CYCLES:-2}
timer=${TIMER:-5}

# The display server: twrecv on a free loopback port.
. scripts/lib/checks.sh
recv_out="$state/twrecv.out"
start_twrecv "$bin/twrecv" "$recv_out" || { echo "twrecv did not start"; cat "$recv_out"*; exit 1; }
trap 'kill $recv_pid 2>/dev/null || true' EXIT

# Install the agent's settings as an administrator would (the service unit
# goes to ./state/units, not into systemd), then shorten the cycle for the demo.
export TWNT_UNIT_DIR="$state/units"
rm -rf "$TWNT_UNIT_DIR"; mkdir -p "$TWNT_UNIT_DIR"
"$bin/twnt" -install 127.0.0.1 N "$port"
"$bin/twsetting" "Timer=$timer" Activatelog=Y

echo "== twnt -app: $cycles cycles of $timer s, reporting to twrecv on 127.0.0.1:$port"
"$bin/twnt" -app &
agent=$!
sleep $(( cycles * timer - timer / 2 ))
kill -TERM $agent
wait $agent || true
sleep 0.5
echo "== What the display server received"
cat "$recv_out"
echo "== TW.LOG (the latest cycle)"
tr -d '\r' <"$state/TW.LOG"
[ -s "$state/events.log" ] && { echo "== Event log"; cat "$state/events.log"; }
exit 0
