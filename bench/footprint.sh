#!/usr/bin/env bash
# The agent's footprint beside collectd's, measured side by side in one run:
# resident memory (RSS), proportional set size (PSS), private memory and
# processor time per cycle of
#   - twnt cycling: the live provider, the default tests, Timer 1,
#   - twnt idle:    the same with Timer 600, asleep after its first cycle,
#   - twrecv idle:  listening, nothing arriving,
#   - collectd:     cpu, memory, df, processes, interface, swap and load
#                   plugins at a 1 s interval (errors only to its own log).
# A second twrecv on a loopback port receives what the cycling agent sends.
# Usage: bench/footprint.sh [BUILD_DIR]   (default build/release; built when
# missing). Installs collectd-core when collectd is missing. Runs 30 s
# (FOOTPRINT_SECONDS) after a few seconds of start-up; the last line holds the
# ratios agent / collectd (at or below 1 for memory, 0.5 for processor time is
# the goal).
#
# Processor time per cycle grows with the number of processes on the host
# (both read every process's /proc entry, collectd three files of it). With
# FOOTPRINT_PIDNS=1 (root) everything runs in a process namespace of its
# own, as on a host with a handful of processes; it also hides other twnt
# processes, which end a twnt -app at its start.
#
# Memory figures are the largest of one sample a second (kB, from
# /proc/PID/smaps_rollup). Processor time is the run time of all of a
# process's threads (/proc/PID/task/*/schedstat, ns) plus that of the
# programs it ran and waited for, over the window, divided by the agent's
# cycles (counted at the receiver) or by collectd's intervals. Each program
# under test runs from its own copy, so that two of ours never share the
# program's pages and halve each other's PSS.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${FOOTPRINT_PIDNS:-0}" = 1 ] && [ -z "${FOOTPRINT_IN_PIDNS:-}" ]; then
  exec env FOOTPRINT_IN_PIDNS=1 unshare --pid --fork --mount-proc "$0" "$@"
fi
build=${1:-build/release}
seconds=${FOOTPRINT_SECONDS:-30}

if [ ! -x "$build/twnt" ] || [ ! -x "$build/twrecv" ] || [ ! -x "$build/twsetting" ]; then
  echo "building twnt, twrecv and twsetting in $build ..." >&2
  cmake --preset release >/dev/null
  cmake --build "$build" --target twnt twrecv twsetting >/dev/null
fi
if ! command -v collectd >/dev/null && [ ! -x /usr/sbin/collectd ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "installing collectd-core ..." >&2
  $sudo apt-get install -y --no-install-recommends collectd-core >/dev/null ||
    { $sudo apt-get update >/dev/null && $sudo apt-get install -y --no-install-recommends collectd-core >/dev/null; }
fi
collectd=$(command -v collectd || echo /usr/sbin/collectd)

dir=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for p in twnt twrecv; do
  cp "$build/$p" "$dir/$p-a"
  cp "$build/$p" "$dir/$p-b"
done

# The receiver for the cycling agent, and the idle one.
"$dir/twrecv-a" --port 0 --bind 127.0.0.1 --json >"$dir/received" 2>&1 &
pids+=($!)
recv_pid=$!
"$dir/twrecv-b" --port 0 --bind 127.0.0.1 >"$dir/idle-recv.out" 2>&1 &
pids+=($!)
idle_recv_pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^twrecv: listening on port \([0-9]*\).*/\1/p' "$dir/received" | head -1)
  [ -n "$port" ] && grep -q listening "$dir/idle-recv.out" && break
  sleep 0.05
done
[ -n "$port" ] || { echo "twrecv did not start" >&2; exit 1; }

start_agent() {  # NAME TIMER
  local d="$dir/$1"
  mkdir -p "$d"
  # The settings as -install writes them (its service unit goes to $d).
  mkdir -p "$d/units"
  TWNT_REGISTRY="$d/registry.reg" TWNT_EVENTLOG="$d/events.log" TWNT_UNIT_DIR="$d/units" \
    "$3" -install 127.0.0.1 N "$port" >"$d/install.out" 2>&1
  "$build/twsetting" --file "$d/registry.reg" "Timer=$2" Activatelog=N >/dev/null
  TWNT_REGISTRY="$d/registry.reg" TWNT_EVENTLOG="$d/events.log" TEMP="$d" \
    "$3" -app >"$d/out" 2>&1 &
  pids+=($!)
}
start_agent cycling 1 "$dir/twnt-a"
cycling_pid=${pids[-1]}
start_agent idle 600 "$dir/twnt-b"
idle_pid=${pids[-1]}

mkdir -p "$dir/collectd"
cat >"$dir/collectd.conf" <<EOF
Interval 1
BaseDir "$dir/collectd"
PIDFile "$dir/collectd/collectd.pid"
TypesDB "/usr/share/collectd/types.db"
LoadPlugin logfile
<Plugin logfile>
  LogLevel "err"
  File "$dir/collectd/collectd.log"
</Plugin>
LoadPlugin cpu
LoadPlugin memory
LoadPlugin df
LoadPlugin processes
LoadPlugin interface
LoadPlugin swap
LoadPlugin load
EOF
"$collectd" -f -C "$dir/collectd.conf" >"$dir/collectd.out" 2>&1 &
pids+=($!)
collectd_pid=$!

# Start-up is not what we measure: let every program settle first.
sleep 3
for p in "${pids[@]}"; do
  kill -0 "$p" 2>/dev/null || {
    echo "a program under test ended early (pid $p; twnt -app ends when another twnt runs:" \
      "try FOOTPRINT_PIDNS=1)" >&2
    exit 1
  }
done

# Run time in ns of a process's threads plus its waited-for children.
cpu_ns() {
  local pid=$1 sum=0 t s
  for t in /proc/"$pid"/task/*/schedstat; do
    read -r s _ <"$t" 2>/dev/null && sum=$((sum + s))
  done
  local -a f
  read -r -a f <"/proc/$pid/stat"
  # Fields 16 and 17 (counting from 1, after "pid (comm)") in clock ticks.
  local tck
  tck=$(getconf CLK_TCK)
  echo $((sum + (f[15] + f[16]) * 1000000000 / tck))
}
cycles() { grep -c '\.mem ' "$dir/received" || true; }
threads() { ls /proc/"$1"/task | tr '\n' ' '; }

names=(cycling idle recv collectd)
declare -A pid=([cycling]=$cycling_pid [idle]=$idle_pid [recv]=$idle_recv_pid [collectd]=$collectd_pid)
declare -A cpu0 tids0 rss pss priv
for n in "${names[@]}"; do
  cpu0[$n]=$(cpu_ns "${pid[$n]}")
  tids0[$n]=$(threads "${pid[$n]}")
  rss[$n]=0 pss[$n]=0 priv[$n]=0
done
c0=$(cycles)
t0=$(date +%s%N)
end=$((t0 + seconds * 1000000000))
while :; do
  for n in "${names[@]}"; do
    read -r r p v < <(awk '/^Rss:/ {r=$2} /^Pss:/ {p=$2} /^Private_(Clean|Dirty):/ {v+=$2}
                           END {print r, p, v}' "/proc/${pid[$n]}/smaps_rollup")
    ((r > rss[$n])) && rss[$n]=$r
    ((p > pss[$n])) && pss[$n]=$p
    ((v > priv[$n])) && priv[$n]=$v
  done
  [ "$(date +%s%N)" -lt "$end" ] || break
  sleep 1
done
t1=$(date +%s%N)
c1=$(cycles)
load=$(cut -d' ' -f1-3 /proc/loadavg)
nprocs=$(find /proc -maxdepth 1 -name '[0-9]*' | wc -l)
declare -A cpu
for n in "${names[@]}"; do
  cpu[$n]=$(($(cpu_ns "${pid[$n]}") - cpu0[$n]))
  [ "$(threads "${pid[$n]}")" = "${tids0[$n]}" ] ||
    echo "note: threads of $n came or went during the window; their time may be missing" >&2
done
ncycles=$((c1 - c0))
intervals=$(((t1 - t0 + 500000000) / 1000000000))
[ "$ncycles" -gt 0 ] || { echo "the agent sent no mem report in the window" >&2; exit 1; }

per() { awk -v ns="$1" -v n="$2" 'BEGIN { printf "%.2f", ns / n / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
declare -A percycle=(
  [cycling]=$(per "${cpu[cycling]}" "$ncycles")
  [idle]=$(per "${cpu[idle]}" "$intervals")
  [recv]=$(per "${cpu[recv]}" "$intervals")
  [collectd]=$(per "${cpu[collectd]}" "$intervals")
)
declare -A label=([cycling]="twnt cycling" [idle]="twnt idle" [recv]="twrecv idle" [collectd]="collectd")
echo "window $(((t1 - t0) / 1000000)) ms, $ncycles agent cycles, $intervals collectd intervals," \
  "load average $load, $nprocs processes"
printf '%-14s %8s %8s %11s %16s\n' "" "RSS kB" "PSS kB" "private kB" "CPU ms/cycle"
for n in "${names[@]}"; do
  printf '%-14s %8s %8s %11s %16s\n' "${label[$n]}" "${rss[$n]}" "${pss[$n]}" "${priv[$n]}" "${percycle[$n]}"
done
line="ratios to collectd:"
for n in cycling idle recv; do
  line+=" ${label[$n]} RSS $(ratio "${rss[$n]}" "${rss[collectd]}") PSS $(ratio "${pss[$n]}" "${pss[collectd]}")"
  line+=" private $(ratio "${priv[$n]}" "${priv[collectd]}")"
  [ "$n" = cycling ] && line+=" CPU $(ratio "${percycle[cycling]}" "${percycle[collectd]}")"
  [ "$n" = recv ] || line+=";"
done
echo "$line"
