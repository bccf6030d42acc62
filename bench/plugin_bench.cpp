// Plugin work files: one scan of 1,000 work files, each read, sent to a
// local twrecv and deleted, timed until the receiver has every message.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "agent/core/config.h"
#include "agent/ext/plugin.h"
#include "base/settings.h"
#include "base/twlog.h"
#include "platform/ascii.h"
#include "platform/posix/posix_directory.h"
#include "platform/posix/posix_sockets.h"
#include "platform/system.h"
#include "test/support/fake_platform.h"
#include "test/support/twrecv_process.h"

extern char** environ;

namespace {

void BM_PluginScanOf1000WorkFilesToTwrecv(benchmark::State& state) {
    const int files = 1000;
    const bool logging = state.range(0) != 0;
    char tmpl[] = "/tmp/twplugin_bench.XXXXXX";
    std::string dir = mkdtemp(tmpl);
    auto sockets = tw::platform::makePosixSockets();
    auto directory = tw::platform::makePosixDirectory();
    struct : tw::platform::CycleMutex {
        void lock() override {}
        void unlock() override {}
    } mutex;
    tw::testing::ManualClock clock;
    tw::AuxThreads threads;
    tw::testing::FakePlatform fake({.clock = &clock, .directory = directory.get()});
    tw::Settings settings(fake.settings);
    const tw::ExtContext x{.threads = threads,
                           .mutex = mutex,
                           .clock = clock,
                           .system = fake.system,
                           .directory = *directory,
                           .launcher = fake.launcher,
                           .settings = settings,
                           .view = {}};
    tw::Config cfg;
    cfg.host.compName = "BENCHHOST";
    cfg.externalpathAsWritten = dir + "/work";
    cfg.externalpath = tw::toUpper(cfg.externalpathAsWritten);
    std::filesystem::create_directories(cfg.externalpathAsWritten);
    if (logging) tw::DiagLog::instance().open(dir + "/TW.LOG");

    for (auto _ : state) {
        for (int i = 0; i < files; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "W%04d", i);
            std::ofstream(cfg.externalpathAsWritten + "/" + name)
                << "host" << i << ".corp.lan:green+30 all fine\nline two of the report\n";
        }
        tw::testing::TwrecvProcess recv;
        if (!recv.start({"--bind", "127.0.0.1", "--quiet", "--count", std::to_string(files)}, 10000,
                        true)) {
            state.SkipWithError("twrecv did not start (build it beside this benchmark)");
            break;
        }
        cfg.twdisplay = "127.0.0.1:" + std::to_string(recv.port());
        auto t0 = std::chrono::steady_clock::now();
        tw::pluginscan(x, tw::pluginview(cfg, tw::statuschannel(cfg, sockets.get(), nullptr)));
        const bool ended = recv.wait(10000) >= 0;
        auto t1 = std::chrono::steady_clock::now();
        if (!ended) {
            state.SkipWithError("twrecv did not receive every message in time");
            break;
        }
        if (!std::filesystem::is_empty(cfg.externalpathAsWritten)) {
            state.SkipWithError("work files were left behind");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    if (logging) tw::DiagLog::instance().close();
    std::filesystem::remove_all(dir);
    state.SetItemsProcessed(state.iterations() * files);
}
BENCHMARK(BM_PluginScanOf1000WorkFilesToTwrecv)
    ->ArgName("log")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace
