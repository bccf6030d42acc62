// The msgs test's own work on a full event query: 20,479 records of one log
// examined against its level entries and 200 IgnoreMsgs patterns, with the
// report body built (and filled) as the test does. The records come from
// memory; the fetch itself is measured by the WMI fixture benchmark.
#include <benchmark/benchmark.h>

#include <random>

#include "agent/tests/msgs.h"
#include "platform/platform.h"

namespace {

const char* const kWords[] = {"the",     "service", "device", "driver", "failed",  "started",
                              "network", "timeout", "disk",   "error",  "warning", "request",
                              "access",  "denied",  "update", "policy", "client",  "server"};

struct Workload {
    std::string ignore;  // 200 patterns
    std::vector<tw::EventRecord> records;
};

Workload workload() {
    std::mt19937 rng(42);
    Workload w;
    // 200 patterns of about nine characters: source names, source:id pairs
    // and message fragments, 1,999 characters in all.
    for (int i = 0; i < 200; ++i) {
        std::string p;
        switch (i % 3) {
            case 0:
                p = "Src " + std::to_string(1000 + i);
                break;
            case 1:
                p = "Src" + std::to_string(i % 50) + ":" + std::to_string(i);
                break;
            default:
                p = "frag" + std::to_string(10000 + i);
        }
        p.resize(9, 'x');
        w.ignore += (i ? ";" : "") + p;
    }
    const int64_t now = 1700000000;
    for (size_t i = 0; i < tw::kMaxEventRecords; ++i) {
        tw::EventRecord e;
        e.type = 1 + static_cast<int>(rng() % 3);
        e.time = now - static_cast<int64_t>(rng() % 3600);
        e.source = "Source Name " + std::to_string(rng() % 80);
        e.id = static_cast<uint16_t>(rng() % 8000);
        // Messages of 200 to 989 characters, none matching a pattern: every
        // text is searched to its end.
        const size_t len = 200 + rng() % 790;
        while (e.message.size() < len) {
            e.message += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
            e.message += ' ';
        }
        e.message.resize(len);
        w.records.push_back(std::move(e));
    }
    return w;
}

void BM_MsgsTwentyThousandEventsTwoHundredPatterns(benchmark::State& state) {
    static const Workload w = workload();
    auto host = tw::platform::makeHostPlatform();
    tw::platform::Clock& clock = host->get().clock;
    const std::string levels = tw::normalisemsglevels("SYS:ERR:Y:60 SYS:WARN:N:60");
    const tw::LogSource system{"SYS:", "System"};
    size_t size = 0;
    for (auto _ : state) {
        const tw::IgnoreList ignore(w.ignore);
        const std::vector<tw::LevelEntry> entries = tw::parselevels(levels, system.key);
        tw::MsgsBody body("[host.example.org]\r\n\r\n");
        tw::examineevents(body, system, entries, w.records, 1700000000, ignore, clock);
        size = body.text.size();
        benchmark::DoNotOptimize(body.text.data());
    }
    state.counters["body"] = static_cast<double>(size);
}
BENCHMARK(BM_MsgsTwentyThousandEventsTwoHundredPatterns)->Unit(benchmark::kMillisecond);

// The matching alone: every record's source, message and source:id.
void BM_IgnoreMatching(benchmark::State& state) {
    static const Workload w = workload();
    const tw::IgnoreList ignore(w.ignore);
    size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const tw::EventRecord& e : w.records)
            hits += ignore.matches(e.source) + ignore.matches(e.message) +
                    ignore.matches(e.source + ":" + std::to_string(e.id));
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK(BM_IgnoreMatching)->Unit(benchmark::kMillisecond);

}  // namespace
