#!/usr/bin/env bash
# Soak: twnt -app for many cycles at Timer 1 against a twrecv on the
# loopback (plus a destination that refuses), sampling the agent's resident
# memory and open descriptors as the cycles go by.
#   scripts/soak.sh [CYCLES] [BUILD_DIR]      (default 300, build/default)
# Samples the first cycle, every tenth of the run and its middle; prints one
# line per sample, the figures at the start, middle and end, and a verdict:
# memory and descriptors are flat when the last sample is within 10 %
# (memory) and equal (descriptors) of the sample taken after the first tenth
# of the cycles (the first cycles still grow the allocator's pools). Exits 1
# otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
cycles=${1:-300}
build=${2:-build/default}
[[ $cycles =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [CYCLES] [BUILD_DIR]" >&2; exit 2; }
for p in twnt twrecv twsetting; do
  [ -x "$build/$p" ] || { echo "soak: $build/$p is missing; build first" >&2; exit 2; }
done
dir=$(mktemp -d)
agent="" recv=""
cleanup() {
  local status=$?
  if [ -n "$agent" ]; then kill -TERM "$agent" 2>/dev/null || true; wait "$agent" 2>/dev/null || true; fi
  if [ -n "$recv" ]; then kill -TERM "$recv" 2>/dev/null || true; wait "$recv" 2>/dev/null || true; fi
  rm -rf "$dir"
  exit $status
}
trap cleanup EXIT

"$build/twrecv" --bind 127.0.0.1 --port 0 --quiet >"$dir/twrecv.out" 2>"$dir/twrecv.err" &
recv=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$dir/twrecv.out" | head -n1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "soak: twrecv did not start" >&2; exit 1; }

# The settings as -install writes them (the service unit goes to $dir), then
# the log on and a one-second cycle.
export TWNT_REGISTRY="$dir/registry.reg" TWNT_EVENTLOG="$dir/events.log" TWNT_UNIT_DIR="$dir/units" TEMP="$dir"
mkdir -p "$TWNT_UNIT_DIR"
"$build/twnt" -install "127.0.0.1:$port;127.0.0.1:1" N 1984 >/dev/null
"$build/twsetting" Timer=1 Activatelog=Y >/dev/null
"$build/twnt" -app &
agent=$!

# The cycle the agent is in, from the first line of its log.
sequence() {
  [ -s "$dir/TW.LOG" ] || return 0
  head -n1 "$dir/TW.LOG" | tr -d '\r' | sed -n 's/^Sequence: \([0-9]*\).*/\1/p'
}
sample() {
  local rss fds
  rss=$(awk '/^VmRSS/ {print $2}' /proc/$agent/status)
  fds=$(ls /proc/$agent/fd | wc -l)
  printf 'cycle %4d  rss %6d kB  descriptors %3d\n' "$1" "$rss" "$fds"
  echo "$1 $rss $fds" >>"$dir/samples"
}

base=$((cycles / 10))
step=$((cycles / 10))
[ "$step" -ge 1 ] || step=1
middle=$(((cycles + 1) / 2))
# The cycles sampled, in order: the first, the middle and every step.
mapfile -t points < <({ echo 1; echo "$middle"; seq "$step" "$step" "$cycles"; echo "$cycles"; } | sort -nu)
i=0
start=$SECONDS
while [ "$i" -lt ${#points[@]} ]; do
  kill -0 "$agent" 2>/dev/null || { echo "soak: the agent ended early" >&2; cat "$dir/events.log" 2>/dev/null; exit 1; }
  s=$(sequence)
  # Sampled while the agent sleeps between cycles, not in the middle of one.
  if [ -n "$s" ] && [ "$s" -ge "${points[$i]}" ] && grep -q "twmain: Sleeping" "$dir/TW.LOG" 2>/dev/null; then
    sample "$s"
    # A slow poll may have stepped over more than one point.
    while [ "$i" -lt ${#points[@]} ] && [ "${points[$i]}" -le "$s" ]; do i=$((i + 1)); done
    continue
  fi
  # A cycle takes at least a second; give each a generous bound.
  if [ $((SECONDS - start)) -gt $((cycles * 10)) ]; then
    echo "soak: cycles too slow (at ${s:-0} after $((SECONDS - start)) s)" >&2
    exit 1
  fi
  sleep 0.2
done
echo "soak: $cycles cycles in $((SECONDS - start)) s; $(grep -c '' "$dir/events.log" 2>/dev/null || echo 0) event entries"

figures() { printf 'cycle %d: %d kB, %d descriptors' "$1" "$2" "$3"; }
read -r c rss fd < <(head -n1 "$dir/samples")
echo "soak: start $(figures "$c" "$rss" "$fd")"
read -r c rss fd < <(awk -v m="$middle" '$1 >= m' "$dir/samples" | head -n1)
echo "soak: middle $(figures "$c" "$rss" "$fd")"
read -r c rss fd < <(tail -n1 "$dir/samples")
echo "soak: end $(figures "$c" "$rss" "$fd")"

read -r _ rss0 fd0 < <(awk -v b="$base" '$1 >= b' "$dir/samples" | head -n1)
read -r _ rss1 fd1 < <(tail -n1 "$dir/samples")
if [ $((rss1 * 10)) -gt $((rss0 * 11)) ] || [ "$fd1" -ne "$fd0" ]; then
  echo "soak: NOT flat: rss $rss0 -> $rss1 kB, descriptors $fd0 -> $fd1"
  exit 1
fi
echo "soak: flat: rss $rss0 -> $rss1 kB, descriptors $fd0 -> $fd1"
