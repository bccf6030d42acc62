#!/usr/bin/env bash
# Builds the fuzz preset and runs the libFuzzer targets, JOBS at a time,
# each on its corpus: what earlier runs kept (build/fuzz/corpus/TARGET) and
# its seeds (fuzz/seeds/TARGET, and the recorded /proc samples of
# test/data/linux for the Linux parsers).
#   scripts/fuzz.sh [-t SECONDS] [-r RUNS] [-j JOBS] [-s SEED] [TARGET...]
# Each target runs until SECONDS (default 20) or RUNS executions (default
# unlimited) are reached; JOBS (default: the number of cores) targets run
# at once. SEED fixes the fuzzer's random choices (default: a new one each
# run), so that a check run twice on the same code searches the same inputs
# and a machine's speed only decides how far. Prints executions, coverage and corpus size of each target as it
# ends. A finding (crash, sanitizer report, leak, time-out, broken promise)
# keeps its input in build/fuzz/findings and fails the script. An input
# counts as a time-out after TW_FUZZ_TIMEOUT seconds (default 10); a long
# run on a busy machine takes more, so that waiting for the processor is
# not taken for a slow input.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=20 runs=-1 jobs=$(nproc) seed=0
usage() { echo "usage: $0 [-t SECONDS] [-r RUNS] [-j JOBS] [-s SEED] [TARGET...]" >&2; exit 2; }
while getopts "t:r:j:s:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    r) runs=$OPTARG ;;
    j) jobs=$OPTARG ;;
    s) seed=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[[ $jobs =~ ^[1-9][0-9]*$ ]] || usage
# libFuzzer takes 0 for a seed of its own choosing.
[[ $seed =~ ^[0-9]+$ ]] || usage

scripts/install-deps.sh
scripts/install-fuzz-deps.sh
cmake --preset fuzz >/dev/null
bin=build/fuzz/fuzz
work=build/fuzz
mkdir -p "$work/findings"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" _fuzz.cpp)"); done
fi
for t in "${targets[@]}"; do
  [ -f "fuzz/${t}_fuzz.cpp" ] || { echo "fuzz: no target $t" >&2; exit 2; }
done
# Only the targets and what they link: the programs and the editor's
# windows are not fuzzed, so not built with the fuzzer's instrumentation.
cmake --build --preset fuzz --target "${targets[@]/%/_fuzz}"
for t in "${targets[@]}"; do
  [ -x "$bin/${t}_fuzz" ] || { echo "fuzz: no target $t" >&2; exit 2; }
done

# The recorded samples that seed a Linux parser's target.
samples() {
  local d=test/data/linux
  case $1 in
    linux_procstat) echo $d/pid_stat* ;;
    linux_meminfo) echo $d/meminfo* ;;
    linux_cpuinfo) echo $d/cpuinfo* ;;
    linux_stat) echo $d/stat $d/stat.partial ;;
    linux_uptime) echo $d/uptime ;;
    linux_mounts) echo $d/mounts* ;;
    linux_swaps) echo $d/swaps* ;;
    linux_netdev) echo $d/net_dev ;;
    linux_netprotocols) echo $d/net_protocols ;;
  esac
}

# Runs one target and prints its line (with the start of a finding's report)
# in one write, so that targets running side by side do not mix their
# output. Fails on a finding.
run_target() {
  local t=$1 corpus=$work/corpus/$1 seeds=$work/seeds/$1 log=$work/$1.log result=ok
  local execs cov ft out report
  mkdir -p "$corpus" "$seeds"
  [ -d "fuzz/seeds/$t" ] && cp fuzz/seeds/"$t"/* "$seeds"/
  for s in $(samples "$t"); do cp "$s" "$seeds/"; done
  if [ "$t" = linux_units ]; then
    cat test/data/linux/list_units <(printf '\0') test/data/linux/list_unit_files >"$seeds/both"
  fi
  timeout $((seconds + 120)) "$bin/${t}_fuzz" -max_total_time="$seconds" -runs="$runs" -seed="$seed" \
    -timeout="${TW_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/findings/$t-" "$corpus" "$seeds" >"$log" 2>&1 &
  local fuzzer=$!
  # A stopped script stops this target's fuzzer with it.
  trap 'kill "$fuzzer" 2>/dev/null; exit 1' TERM
  wait "$fuzzer" || result=FINDING
  # A target that died early may have printed none of these.
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -n1 | cut -d' ' -f2) || true
  ft=$(grep -Eo 'ft: [0-9]+' "$log" | tail -n1 | cut -d' ' -f2) || true
  out=$(printf '%-20s %12s %8s %8s %8s  %s' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
    "$(ls "$corpus" | wc -l)" "$result")
  if [ "$result" != ok ]; then
    report=$(grep -E 'INFO: Seed|ERROR|SUMMARY|promise broken|artifact' "$log" | head -n 6 | sed 's/^/    /') || true
    [ -z "$report" ] || out+=$'\n'$report
  fi
  printf '%s\n' "$out"
  [ "$result" = ok ]
}

# A stopped script stops the targets still running.
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT

status=0 running=0
printf '%-20s %12s %8s %8s %8s  %s\n' target executions cov ft corpus result
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
