// The live process snapshot (what the agent takes every cycle) against
// `ps -e -o pid,comm,time` over the same processes. Run with many extra
// processes: scripts/bench_procs.sh starts 1,000 sleeping ones.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>

#include "test/support/fake_platform.h"
#include "agent/wmi/procinfo.h"
#include "agent/wmi/wmi.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/posix.h"
#include "platform/posix/subprocess.h"
#include "platform/posix/wmi_providers.h"

namespace {

void BM_LiveProcessSnapshot(benchmark::State& state) {
    tw::testing::ManualClock clock;
    auto store = tw::platform::makeFileSettingsStore("/tmp/twnt-bench-registry.reg");
    auto host = tw::platform::posix::makeHostInfo();
    auto provider = tw::platform::makeLiveWmiProvider(clock, *store, *host);
    tw::testing::FakePlatform fp({.clock = &clock, .wmi = provider.get()});
    tw::WmiSession session(fp.p);
    session.open();
    size_t rows = 0;
    for (auto _ : state) {
        auto snap = tw::wmiprocinfo(session);
        rows = snap ? snap->size() : 0;
        benchmark::DoNotOptimize(snap);
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_LiveProcessSnapshot)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PsCommand(benchmark::State& state) {
    size_t lines = 0;
    for (auto _ : state) {
        auto r = tw::platform::runCommand({"ps", "-e", "-o", "pid,comm,time"}, 60000);
        lines = r ? static_cast<size_t>(std::count(r->out.begin(), r->out.end(), '\n')) : 0;
        benchmark::DoNotOptimize(r);
    }
    state.counters["rows"] = static_cast<double>(lines);
}
BENCHMARK(BM_PsCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
