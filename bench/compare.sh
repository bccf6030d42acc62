#!/usr/bin/env bash
# Compares the benchmarks of two release builds (for example a checkout
# before a change and one after it), benchmark by benchmark, the two builds
# taking turns so that a change in the machine's load falls on both alike.
#   bench/compare.sh BEFORE_BUILD AFTER_BUILD [ROUNDS]
# Each build folder holds the *_bench programs (cmake --preset release).
# Prints, per benchmark, the median of ROUNDS (default 3) runs of real and
# of CPU time per iteration, and after/before of each.
# BENCH_MIN_TIME (default 0.3) is the least time each run measures, in s.
set -euo pipefail
before=${1:?before build folder}
after=${2:?after build folder}
rounds=${3:-3}
min_time=${BENCH_MIN_TIME:-0.3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for prog in "$after"/*_bench; do
  name=$(basename "$prog")
  [ -x "$before/$name" ] || { echo "skipped $name: not in $before" >&2; continue; }
  for ((r = 1; r <= rounds; r++)); do
    for side in before after; do
      dir=$before
      [ $side = after ] && dir=$after
      "$dir/$name" --benchmark_min_time="$min_time" --benchmark_format=json \
        >"$out/$side.$name.$r.json" 2>/dev/null
    done
  done
done

python3 - "$out" <<'EOF'
import glob, json, os, statistics, sys
out = sys.argv[1]
runs = {}
for path in glob.glob(os.path.join(out, "*.json")):
    side = os.path.basename(path).split(".")[0]
    with open(path) as f:
        doc = json.load(f)
    for b in doc["benchmarks"]:
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b["time_unit"]]
        key = b["name"]
        runs.setdefault(key, {}).setdefault(side, []).append(
            (b["real_time"] * scale, b["cpu_time"] * scale))

def shown(ns):
    for unit, f in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= f:
            return f"{ns / f:.3g} {unit}"
    return f"{ns:.3g} ns"

print("| benchmark | real before | real after | after/before | CPU before | CPU after | after/before |")
print("|---|---|---|---|---|---|---|")
for key in sorted(runs):
    s = runs[key]
    if "before" not in s or "after" not in s:
        continue
    rb = statistics.median(r for r, _ in s["before"])
    ra = statistics.median(r for r, _ in s["after"])
    cb = statistics.median(c for _, c in s["before"])
    ca = statistics.median(c for _, c in s["after"])
    ratio = lambda a, b: f"{a / b:.2f}" if b > 0 else "-"
    print(f"| {key} | {shown(rb)} | {shown(ra)} | {ratio(ra, rb)} | {shown(cb)} | {shown(ca)} | {ratio(ca, cb)} |")
EOF
