// A fixture query over 20,000 objects: the event-log query of the msgs test
// (condition on a text and a date-time) against a file of 20,000 events.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <fstream>

#include "platform/posix/file_settings_store.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "test/support/manual_clock.h"

namespace {

constexpr int kRows = 20000;

std::string writeFixture() {
    const std::string path = "/tmp/twnt-bench-fixture-" + std::to_string(getpid()) + ".json";
    std::ofstream out(path, std::ios::trunc);
    out << "{\"Win32_NTLogEvent\": [";
    const char* logs[] = {"System", "Application", "Security"};
    for (int i = 0; i < kRows; ++i) {
        out << (i ? "," : "") << "{\"LogFile\": \"" << logs[i % 3]
            << "\", \"EventType\": " << (i % 3 + 1) << ", \"TimeGenerated\": {\"$ago\": " << i * 7
            << "}, \"TimeWritten\": {\"$ago\": " << i * 7 << "}, \"SourceName\": \"Source" << i % 50
            << "\", \"EventIdentifier\": " << i << ", \"Message\": \"Event message number " << i
            << " with some text\"}";
    }
    out << "]}";
    return path;
}

const char* kQuery =
    "Select EventType,TimeGenerated,SourceName,EventIdentifier,Message from Win32_NTLogEvent "
    "where LogFile='System' and TimeWritten>'20121004143000.0+000'";

size_t runQuery(tw::platform::WmiConnection& c, const char* query = kQuery) {
    auto e = c.query(query);
    size_t n = 0;
    std::unique_ptr<tw::platform::WmiObject> o;
    while (e && e->next(30000, o) == tw::platform::WmiNext::Object) {
        benchmark::DoNotOptimize(o->get("Message"));
        ++n;
    }
    return n;
}

// Repeated queries of an unchanged file (the parse is kept).
void BM_FixtureQuery20000(benchmark::State& state) {
    tw::testing::ManualClock clock(1349447400);
    const std::string path = writeFixture();
    auto store = tw::platform::makeFileSettingsStore("/tmp/twnt-bench-registry.reg");
    auto provider = tw::platform::makeFixtureWmiProvider(path, clock, *store);
    auto c = provider->connect("", "ROOT\\CIMV2").connection;
    size_t n = runQuery(*c);
    for (auto _ : state) n = runQuery(*c);
    state.counters["matched"] = static_cast<double>(n);
    std::remove(path.c_str());
}
BENCHMARK(BM_FixtureQuery20000)->Unit(benchmark::kMillisecond);

// Every object of the class, every property.
void BM_FixtureSelectAll20000(benchmark::State& state) {
    tw::testing::ManualClock clock(1349447400);
    const std::string path = writeFixture();
    auto store = tw::platform::makeFileSettingsStore("/tmp/twnt-bench-registry.reg");
    auto provider = tw::platform::makeFixtureWmiProvider(path, clock, *store);
    auto c = provider->connect("", "ROOT\\CIMV2").connection;
    const char* all = "SELECT * FROM Win32_NTLogEvent";
    size_t n = runQuery(*c, all);
    for (auto _ : state) n = runQuery(*c, all);
    state.counters["matched"] = static_cast<double>(n);
    std::remove(path.c_str());
}
BENCHMARK(BM_FixtureSelectAll20000)->Unit(benchmark::kMillisecond);

// The first query after a change: read and parse the file, then answer.
void BM_FixtureLoadAndQuery20000(benchmark::State& state) {
    tw::testing::ManualClock clock(1349447400);
    const std::string path = writeFixture();
    auto store = tw::platform::makeFileSettingsStore("/tmp/twnt-bench-registry.reg");
    size_t n = 0;
    for (auto _ : state) {
        auto provider = tw::platform::makeFixtureWmiProvider(path, clock, *store);
        auto c = provider->connect("", "ROOT\\CIMV2").connection;
        n = runQuery(*c);
    }
    state.counters["matched"] = static_cast<double>(n);
    std::remove(path.c_str());
}
BENCHMARK(BM_FixtureLoadAndQuery20000)->Unit(benchmark::kMillisecond);

}  // namespace
