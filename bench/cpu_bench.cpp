// The cpu test's load computation over two full snapshots (10,239 rows
// each, the most a snapshot holds): matching every current row to the
// previous snapshot, the shares, the share lines and their sort. Target:
// under 10 ms. A row-by-row search of the previous snapshot is shown beside
// it for comparison.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "agent/tests/cpu.h"
#include "base/twlog.h"

namespace {

using Rows = std::vector<tw::ProcessSample>;

// A typical pair: distinct processes, a few sharing a name (svchost-like),
// some gone and some new between the snapshots, Idle first and _Total last.
void snapshots(Rows& previous, Rows& current) {
    const size_t n = tw::kMaxProcessSamples;
    previous.clear();
    current.clear();
    previous.push_back({"Idle", 0, 1e9, 1e9});
    current.push_back({"Idle", 0, 1.1e9, 1.3e9});
    for (size_t i = 1; i + 1 < n; ++i) {
        const int pid = static_cast<int>(4 * i);
        const std::string name = i % 10 == 0 ? "svchost" : "process" + std::to_string(i);
        const double cpu = static_cast<double>(i % 97) * 1e5;
        previous.push_back({name, pid, cpu, 1e9});
        // Every 50th process ended and another took a new id.
        const int curPid = i % 50 == 0 ? pid + 1 : pid;
        current.push_back({name, curPid, cpu + static_cast<double>(i % 13) * 1e3, 1.3e9});
    }
    previous.push_back({"_Total", 0, 9e12, 1e9});
    current.push_back({"_Total", 0, 9.1e12, 1.3e9});
}

void BM_CpuLoadIndexed(benchmark::State& state) {
    Rows previous, current;
    snapshots(previous, current);
    size_t lines = 0;
    double sum = 0;
    for (auto _ : state) {
        tw::LineArray l;
        l.reserve(current.size() + 1);
        sum = tw::cpuload(previous, current, 4, l);
        lines = l.size();
        benchmark::DoNotOptimize(l);
    }
    state.counters["rows"] = static_cast<double>(current.size());
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["load"] = tw::loadpercent(sum);
}
BENCHMARK(BM_CpuLoadIndexed)->Unit(benchmark::kMillisecond);

// Many rows of one process (same id and name) with falling timestamps: the
// case a plain map from id to row would get wrong and a list walk would
// make quadratic.
void BM_CpuLoadOneProcessRepeated(benchmark::State& state) {
    Rows previous, current;
    const size_t n = tw::kMaxProcessSamples;
    for (size_t i = 0; i < n; ++i) {
        previous.push_back({"same", 7, 0, static_cast<double>(n - i)});
        current.push_back({"same", 7, 1e6, static_cast<double>(n - i) + 0.5});
    }
    for (auto _ : state) {
        tw::LineArray l;
        double sum = tw::cpuload(previous, current, 1, l);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_CpuLoadOneProcessRepeated)->Unit(benchmark::kMillisecond);

// The same work with the previous snapshot searched row by row.
void BM_CpuLoadRowByRow(benchmark::State& state) {
    Rows previous, current;
    snapshots(previous, current);
    for (auto _ : state) {
        tw::LineArray l;
        double sum = 0;
        for (size_t i = 0; i + 1 < current.size(); ++i) {
            const tw::ProcessSample& c = current[i];
            if (c.pid == 0) continue;
            for (const tw::ProcessSample& p : previous) {
                if (p.pid != c.pid || p.name != c.name || p.timestamp > c.timestamp) continue;
                double share = (c.cputime - p.cputime) * 100 / (c.timestamp - p.timestamp) / 4;
                sum += share;
                l.push_back(tw::strformat("%05.2f%%\t%s (0x%x [%d])\r\n", share, c.name.c_str(),
                                          static_cast<unsigned>(c.pid), c.pid));
                break;
            }
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(l);
    }
}
BENCHMARK(BM_CpuLoadRowByRow)->Unit(benchmark::kMillisecond);

}  // namespace
