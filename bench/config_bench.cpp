// A full configuration load from the settings file, as every cycle does it,
// with a 100 KB WMIPool (stored as hex because of its CR LF line ends).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "agent/core/config.h"
#include "base/settings.h"
#include "platform/platform.h"
#include "platform/posix/file_settings_store.h"

namespace {

class LoopbackHost : public tw::platform::HostInfo {
  public:
    std::optional<std::string> hostName() override { return std::string("bench"); }
    std::optional<tw::platform::HostEntry> resolve(const std::string&) override {
        return tw::platform::HostEntry{"bench.example.org", "127.0.0.1"};
    }
    std::optional<std::string> computerName() override { return std::string("BENCH"); }
};

void BM_ConfigLoad(benchmark::State& state) {
    std::string dir =
        std::filesystem::temp_directory_path() / ("twbench." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto store = tw::platform::makeFileSettingsStore(dir + "/registry.reg");
    tw::Settings settings(*store);
    settings.writesetting("TWDISPLAY", "display1;display2:1985");
    settings.writesetting("Tests",
                          "procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P");
    settings.writesetting("Defaults", "CPU:80:95 DISK:90:95 PAGEFILE:80:90");
    settings.writesetting("Procs", "svchost.exe:CI:50-80;lsass.exe");
    const std::string row =
        "\"NumberOfProcessors\" \"Integer\" \"<2\" \"N\" \"select NumberOfProcessors from "
        "Win32_ComputerSystem\" \"%color% %value%\"\r\n";
    std::string pool;
    while (pool.size() + row.size() < 102400) pool += row;  // the most WMIPool holds
    settings.writesetting("WMIPool", pool);
    settings.writesetting("WMITests", pool.substr(0, 2000));
    LoopbackHost host;
    tw::Config cfg;
    for (auto _ : state) {
        auto r = tw::loadconfig(settings, host, cfg);
        benchmark::DoNotOptimize(r);
    }
    if (cfg.wmipool.size() != pool.size()) state.SkipWithError("WMIPool did not load");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ConfigLoad)->Unit(benchmark::kMicrosecond);

}  // namespace
