// The WMI bridge against the same work done locally: a 10,000-row query
// (every property of every object) and 1,000 StdRegProv reads, once through
// the fixture provider in this process and once through `twwmi --serve` of
// this build behind the remote provider (loopback socket, no ssh).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "test/support/manual_clock.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/remote_wmi_provider.h"
#include "platform/fixture_wmi_provider.h"

namespace {

using namespace tw::platform;

constexpr int kRows = 10000;
constexpr int kReads = 1000;
const std::string kKey = "SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";

std::string twwmiPath() {
    return TW_BINARY_DIR "/twwmi";
}

// A process table of kRows objects and a settings file with the agent's 29
// settings, as a machine would have them.
struct Machine {
    std::string fixture = "/tmp/twnt-bench-twwmi-" + std::to_string(getpid()) + ".json";
    std::string registry = "/tmp/twnt-bench-twwmi-" + std::to_string(getpid()) + ".reg";
    tw::testing::ManualClock clock{1349447400};
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<WmiProvider> local, remote;

    Machine() {
        std::ofstream out(fixture, std::ios::trunc);
        out << "{\"Win32_Process\": [";
        for (int i = 0; i < kRows; ++i)
            out << (i ? "," : "") << "{\"Name\": \"process" << i % 300
                << ".exe\", \"ProcessId\": " << i << ", \"ParentProcessId\": " << i / 7
                << ", \"ThreadCount\": " << i % 40 << ", \"WorkingSetSize\": \"" << i * 4096
                << "\", \"CommandLine\": \"/usr/bin/process" << i % 300
                << " --option value\", \"Caption\": \"process" << i % 300
                << "\", \"Responding\": true}";
        out << "]}";
        out.close();
        std::remove(registry.c_str());
        store = makeFileSettingsStore(registry);
        for (int i = 0; i < 29; ++i)
            store->setValue("HKEY_LOCAL_MACHINE\\" + kKey + "Setting" + std::to_string(i), "",
                            RegValue::sz("value of setting " + std::to_string(i)));
        local = makeFixtureWmiProvider(fixture, clock, *store);
        remote =
            makeRemoteWmiProvider("env TWNT_WMI_FIXTURE=" + fixture + " TWNT_REGISTRY=" + registry +
                                  " " + twwmiPath() + " --serve");
    }
    ~Machine() {
        std::remove(fixture.c_str());
        std::remove(registry.c_str());
        std::remove((registry + ".lock").c_str());
    }
};

size_t selectAll(WmiConnection& c) {
    auto e = c.query("SELECT * FROM Win32_Process");
    size_t n = 0;
    std::unique_ptr<WmiObject> o;
    while (e && e->next(30000, o) == WmiNext::Object) {
        for (const auto& name : o->propertyNames()) benchmark::DoNotOptimize(o->get(name));
        ++n;
    }
    return n;
}

// CPU seconds of this process's ended children (twwmi, once its
// connection is closed).
double childCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The bridge's far side works in parallel with this process; its CPU time
// per iteration is reported as "twwmi_cpu_ms" (wall and CPU columns are
// this process's).
void reportServerCpu(benchmark::State& state, double before) {
    if (state.iterations() > 0)
        state.counters["twwmi_cpu_ms"] =
            (childCpu() - before) * 1000 / static_cast<double>(state.iterations());
}

void query(benchmark::State& state, bool remote) {
    Machine m;
    const double before = childCpu();
    auto r = (remote ? m.remote : m.local)->connect(remote ? "BENCHHOST" : "", kCimv2);
    if (!r.connection) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    size_t n = 0;
    for (auto _ : state) n = selectAll(*r.connection);
    state.counters["objects"] = static_cast<double>(n);
    r.connection.reset();
    if (remote) reportServerCpu(state, before);
}

void BM_LocalQuery10000(benchmark::State& state) {
    query(state, false);
}
void BM_BridgeQuery10000(benchmark::State& state) {
    query(state, true);
}
BENCHMARK(BM_LocalQuery10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeQuery10000)->Unit(benchmark::kMillisecond);

void reads(benchmark::State& state, bool remote) {
    Machine m;
    const double before = childCpu();
    auto r = (remote ? m.remote : m.local)->connect(remote ? "BENCHHOST" : "", kDefaultNamespace);
    if (!r.connection) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    WmiPropertyBag in;
    in.set("hDefKey", WmiValue::string("2147483650"));
    size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (int i = 0; i < kReads; ++i) {
            in.set("sSubKeyName", WmiValue::string(kKey + "Setting" + std::to_string(i % 29)));
            auto out = r.connection->execMethod("StdRegProv", "GetStringValue", &in);
            found += out && out->get("sValue")->type == WmiType::String;
        }
    }
    if (found != kReads) state.SkipWithError("a read failed");
    // Per read: the time per iteration divided by 1,000.
    state.counters["reads"] =
        benchmark::Counter(kReads, benchmark::Counter::kIsIterationInvariantRate);
    r.connection.reset();
    if (remote) reportServerCpu(state, before);
}

void BM_LocalStdRegProvReads1000(benchmark::State& state) {
    reads(state, false);
}
void BM_BridgeStdRegProvReads1000(benchmark::State& state) {
    reads(state, true);
}
BENCHMARK(BM_LocalStdRegProvReads1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeStdRegProvReads1000)->Unit(benchmark::kMillisecond);

}  // namespace
