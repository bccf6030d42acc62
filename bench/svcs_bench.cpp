// The svcs test's own work on a full service list: 20,479 services checked
// against 1,000 Services entries (written with other case and spacing than
// the display names, some missing, some in the wrong state). The rows come
// from memory; no service is controlled.
#include <benchmark/benchmark.h>

#include <random>

#include "agent/tests/svcs.h"

namespace {

struct Workload {
    std::string services;
    std::vector<tw::ServiceSample> rows;
};

Workload workload() {
    std::mt19937 rng(7);
    Workload w;
    for (size_t i = 0; i < tw::kMaxServiceSamples; ++i) {
        tw::ServiceSample s;
        s.name = "svc" + std::to_string(i);
        s.displayName = "Windows Service Number " + std::to_string(i) + " Host";
        s.state = rng() % 4 ? "Running" : "Stopped";
        w.rows.push_back(std::move(s));
    }
    for (int i = 0; i < 1000; ++i) {
        // Every twentieth entry names no service; the others one spread
        // over the whole list.
        const size_t row = rng() % w.rows.size();
        std::string name = i % 20 == 0 ? "Missing Service " + std::to_string(i)
                                       : "windowsservicenumber " + std::to_string(row) + "host";
        w.services += (i ? ";" : "") + name + (i % 2 ? ":Y:R:N" : ":R");
    }
    return w;
}

void BM_SvcsTwentyThousandServicesThousandEntries(benchmark::State& state) {
    static const Workload w = workload();
    size_t size = 0;
    for (auto _ : state) {
        const tw::SvcsResult r = tw::checkservices(tw::parseservices(w.services), w.rows, 'P', {});
        size = r.lines.size();
        benchmark::DoNotOptimize(r.lines.data());
    }
    state.counters["lines"] = static_cast<double>(size);
}
BENCHMARK(BM_SvcsTwentyThousandServicesThousandEntries)->Unit(benchmark::kMillisecond);

}  // namespace
