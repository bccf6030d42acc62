#!/usr/bin/env bash
# Builds the fuzz preset and runs the libFuzzer targets, one after another,
# each on its corpus: what earlier runs kept (build/fuzz/corpus/TARGET) and
# its seeds (fuzz/seeds/TARGET, and the recorded /proc samples of
# test/data/linux for the Linux parsers).
#   scripts/fuzz.sh [-t SECONDS] [-r RUNS] [TARGET...]
# Each target runs until SECONDS (default 20) or RUNS executions (default
# unlimited) are reached. Prints executions, coverage and corpus size per
# target. A finding (crash, sanitizer report, leak, time-out, broken
# promise) keeps its input in build/fuzz/findings and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=20 runs=-1
while getopts "t:r:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    r) runs=$OPTARG ;;
    *) echo "usage: $0 [-t SECONDS] [-r RUNS] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

scripts/install-deps.sh
scripts/install-fuzz-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bin=build/fuzz/fuzz
work=build/fuzz
mkdir -p "$work/findings"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" _fuzz.cpp)"); done
fi

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

status=0
printf '%-20s %12s %8s %8s %8s  %s\n' target executions cov ft corpus result
for t in "${targets[@]}"; do
  corpus=$work/corpus/$t
  seeds=$work/seeds/$t
  mkdir -p "$corpus" "$seeds"
  [ -d "fuzz/seeds/$t" ] && cp fuzz/seeds/"$t"/* "$seeds"/
  for s in $(samples "$t"); do cp "$s" "$seeds/"; done
  if [ "$t" = linux_units ]; then
    cat test/data/linux/list_units <(printf '\0') test/data/linux/list_unit_files >"$seeds/both"
  fi
  log=$work/$t.log
  result=ok
  timeout $((seconds + 120)) "$bin/${t}_fuzz" -max_total_time="$seconds" -runs="$runs" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/findings/$t-" "$corpus" "$seeds" >"$log" 2>&1 || result=FINDING
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -n1 | cut -d' ' -f2)
  ft=$(grep -Eo 'ft: [0-9]+' "$log" | tail -n1 | cut -d' ' -f2)
  printf '%-20s %12s %8s %8s %8s  %s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
    "$(ls "$corpus" | wc -l)" "$result"
  if [ "$result" != ok ]; then
    status=1
    grep -E 'ERROR|SUMMARY|promise broken|artifact' "$log" | head -n 5 | sed 's/^/    /'
  fi
done
exit $status
