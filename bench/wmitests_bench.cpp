// Cost of the WMI test runner itself for a large WMITests setting: reading,
// validation, evaluation, page-format expansion and message building, with
// queries answered from memory and messages only counted.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "agent/wmi/wmi.h"
#include "agent/wmitests/definitions.h"
#include "agent/wmitests/threshold.h"
#include "agent/wmitests/wmitests.h"
#include "platform/posix/file_settings_store.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "test/support/fake_platform.h"

namespace {

std::string thousanddefinitions() {
    const std::vector<std::string> pool = tw::splitdefinitions(tw::defaultwmipool());
    std::string setting;
    for (int i = 0; i < 1000; ++i) {
        if (i > 0) setting += '|';
        // Distinct test names: a prefix before each pool row's name.
        setting += 'T';
        setting += std::to_string(i);
        setting += pool[i % pool.size()];
    }
    return setting;
}

void BM_RunThousandDefinitions(benchmark::State& state) {
    const std::string setting = thousanddefinitions();
    const std::map<std::string, std::string> answers = {
        {"select ChassisBootupState from Win32_ComputerSystem", "3"},
        {"select PowerSupplyState from Win32_ComputerSystem", "4"},
        {"select status from Win32_BaseBoard", "OK"},
        {"select status from Win32_Battery", ""},
        {"select status from Win32_MotherboardDevice", "Pred Fail"},
        {"select NumberOfProcessors from Win32_ComputerSystem", "8"},
    };
    size_t bytes = 0, messages = 0;
    tw::WmiTestEnv env;
    env.mode = 'P';
    env.compName = "HOST";
    env.realcompName = "host.example.org";
    env.query = [&](const std::string& q, size_t) {
        auto it = answers.find(q);
        return it == answers.end() ? tw::WmiQueryAnswer{} : tw::WmiQueryAnswer{true, it->second};
    };
    env.datestamp = [] { return std::string("Tue Dec 08 03:20:31 UTC 2026"); };
    env.page = [&](const std::string& m) { bytes += m.size(); };
    env.send = [&](const std::string& m) {
        bytes += m.size();
        ++messages;
    };
    for (auto _ : state) tw::wmitests(setting, env);
    benchmark::DoNotOptimize(bytes);
    state.counters["messages"] =
        benchmark::Counter(static_cast<double>(messages) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_RunThousandDefinitions)->Unit(benchmark::kMillisecond);

// The same 1,000 definitions with every query answered by the fixture
// provider through wmiquery, as the agent runs them.
void BM_RunThousandDefinitionsAgainstFixture(benchmark::State& state) {
    const std::string setting = thousanddefinitions();
    const std::string dir = "/tmp/twnt-bench-wmitests-" + std::to_string(getpid());
    std::string cmd = "mkdir -p " + dir;
    if (system(cmd.c_str()) != 0) state.SkipWithError("no temporary folder");
    {
        std::ofstream out(dir + "/fixture.json", std::ios::trunc);
        out << R"({"Win32_ComputerSystem": [{"ChassisBootupState": 3, "PowerSupplyState": 4,
                   "NumberOfProcessors": 8}],
                  "Win32_BaseBoard": [{"Status": "OK"}], "Win32_Battery": [],
                  "Win32_MotherboardDevice": [{"Status": "Pred Fail"}]})";
    }
    tw::testing::ManualClock clock;
    auto store = tw::platform::makeFileSettingsStore(dir + "/registry.reg");
    auto provider = tw::platform::makeFixtureWmiProvider(dir + "/fixture.json", clock, *store);
    tw::testing::FakePlatform fp({.settings = store.get(), .clock = &clock, .wmi = provider.get()});
    tw::WmiSession session(fp.p);
    if (!session.open()) state.SkipWithError("fixture session did not open");
    size_t messages = 0;
    tw::WmiTestEnv env;
    env.mode = 'P';
    env.compName = "HOST";
    env.realcompName = "host.example.org";
    env.query = [&](const std::string& q, size_t capacity) {
        tw::WmiQueryAnswer a;
        a.ok = tw::wmiquery(session, q, a.text, capacity);
        return a;
    };
    env.datestamp = [] { return std::string("Tue Dec 08 03:20:31 UTC 2026"); };
    env.send = [&](const std::string&) { ++messages; };
    for (auto _ : state) tw::wmitests(setting, env);
    state.counters["messages"] =
        benchmark::Counter(static_cast<double>(messages) / static_cast<double>(state.iterations()));
    cmd = "rm -rf " + dir;
    if (system(cmd.c_str()) != 0) state.SkipWithError("cleanup failed");
}
BENCHMARK(BM_RunThousandDefinitionsAgainstFixture)->Unit(benchmark::kMillisecond);

void BM_ParseThreshold(benchmark::State& state) {
    const char* const fields[] = {"4:5", "10:20::80:90", "[10,20](50,):[90,)",
                                  "!1:", "Unknown;Lost Comm;No Contact:Error;Pred Fail"};
    for (auto _ : state)
        for (int i = 0; i < 5; ++i)
            benchmark::DoNotOptimize(tw::parsethreshold(
                i == 4 ? tw::DataType::String : tw::DataType::Numerical, fields[i]));
}
BENCHMARK(BM_ParseThreshold);

}  // namespace
