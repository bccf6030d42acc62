#include "agent/core/builtins.h"

#include <gtest/gtest.h>

#include "agent/core/agent.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "test/support/fake_platform.h"
#include "test/support/fake_sockets.h"

namespace tw {
namespace {

using testing::FakePlatform;
using testing::FakeSockets;
using testing::TempDir;

std::string row(const std::string& name, int pid, const std::string& cpu, const std::string& ts) {
    return R"({"Name": ")" + name + R"(", "IDProcess": )" + std::to_string(pid) +
           R"(, "PercentProcessorTime": ")" + cpu + R"(", "Timestamp_Sys100NS": ")" + ts + R"("})";
}

const std::string kSnapshotA =
    row("Idle", 0, "0", "10000000") + "," + row("app", 100, "1000000", "10000000") + "," +
    row("db", 200, "0", "10000000") + "," + row("_Total", 0, "0", "10000000");
// One second later on one processor: app 50 %, db 10 %.
const std::string kSnapshotB =
    row("Idle", 0, "0", "20000000") + "," + row("app", 100, "6000000", "20000000") + "," +
    row("db", 200, "1000000", "20000000") + "," + row("_Total", 0, "0", "20000000");

const std::string kMemory =
    R"("Win32_OperatingSystem": [{"LastBootUpTime": {"$ago": 90000}, "FreePhysicalMemory": "1048576",
        "TotalVirtualMemorySize": "4194304", "FreeVirtualMemory": "2097152",
        "SizeStoredInPagingFiles": "1048576", "FreeSpaceInPagingFiles": "524288"}],)";

struct SnapshotCycle : ::testing::Test {
    FakePlatform fp{"{}"};
    FakeSockets& sockets = fp.sockets;
    TempDir dir;
    std::unique_ptr<platform::WmiProvider> provider;
    std::unique_ptr<Agent> agent;

    void SetUp() override {
        sockets.addHost("disp", {"10.0.0.9"});
        agent = std::make_unique<Agent>(fp.p);
        Config& c = agent->cfg;
        c.modes.parse("cpu:P mem:P procs:P");
        c.procs = "app";
        c.twdisplay = "disp";
        c.host.compName = "web1";
        c.host.realcompName = "web1.corp.lan";
        agent->numcpu = 1;
    }

    // Answers WMI from this fixture from now on.
    void fixture(const std::string& processes, bool memory = true) {
        agent->wmi.close();
        static int n = 0;
        std::string path = dir.file("wmi" + std::to_string(n++) + ".json");
        std::string json = "{";
        if (!processes.empty())
            json += R"("Win32_PerfRawData_PerfProc_Process": [)" + processes + "],";
        if (memory) json += kMemory;
        json +=
            R"("Win32_ComputerSystem": [{"Name": "WEB1", "TotalPhysicalMemory": "4294967296"}]})";
        testing::writeFile(path, json);
        provider = platform::makeFixtureWmiProvider(path, fp.clock, fp.settings);
        fp.wmi.machines[""] = provider.get();
        ASSERT_TRUE(agent->wmi.open());
    }

    // One cycle's steps 7-13 (disk and msgs would run between the two).
    std::vector<std::string> cycle() {
        size_t before = sockets.deliveries.size();
        const StatusChannel ch = statuschannel(agent->cfg, &sockets, &fp.clock);
        Snapshot s = runsnapshottests(*agent, fp.clock.now(), reportdelivery(ch, "disp"));
        handoversnapshot(*agent, std::move(s));
        std::vector<std::string> out;
        for (size_t i = before; i < sockets.deliveries.size(); ++i) {
            std::string b = sockets.deliveries[i].bytes;
            EXPECT_EQ(b.back(), '\0');
            out.push_back(b.substr(0, b.size() - 1));
        }
        return out;
    }
};

std::vector<std::string> words(const std::vector<std::string>& reports) {
    std::vector<std::string> w;
    for (const std::string& r : reports) w.push_back(r.substr(12, r.find(' ', 12) - 12));
    return w;
}

TEST_F(SnapshotCycle, FirstCycleHasNoCpuReportTheSecondLoadsFromBothSnapshots) {
    fixture(kSnapshotA);
    auto first = cycle();
    EXPECT_EQ(words(first), (std::vector<std::string>{"mem", "procs"}));
    ASSERT_TRUE(agent->prevprocs);
    EXPECT_EQ(agent->prevprocs->size(), 4u);

    fixture(kSnapshotB);
    auto second = cycle();
    ASSERT_EQ(words(second), (std::vector<std::string>{"cpu", "mem", "procs"}));
    EXPECT_NE(second[0].find(", 1 users, 2 procs, load=60%, "), std::string::npos) << second[0];
    EXPECT_NE(second[0].find("Most active processes\r\n50.00%\tapp (0x64 [100])\r\n"
                             "10.00%\tdb (0xc8 [200])\r\n"),
              std::string::npos);
    EXPECT_EQ(agent->prevprocs->at(1).cputime, 6000000) << "the second snapshot is handed over";
}

TEST_F(SnapshotCycle, ShareLinesOfTheCycleReachTheProcsTest) {
    agent->cfg.procs = "app:CI40-45";
    fixture(kSnapshotA);
    auto first = cycle();
    EXPECT_NE(first[1].find("&green app OK"), std::string::npos)
        << "no share lines before a cpu run";
    fixture(kSnapshotB);
    auto second = cycle();
    EXPECT_NE(second[2].find("status web1.procs red "), std::string::npos);
    EXPECT_NE(second[2].find("&red app 50.00% \r\n"), std::string::npos) << second[2];
}

TEST_F(SnapshotCycle, AnEmptySnapshotDoesNotReplaceThePreviousOne) {
    fixture(kSnapshotA);
    cycle();
    fixture(" ");  // the class answers no row
    auto empty = cycle();
    EXPECT_EQ(words(empty), (std::vector<std::string>{"mem", "procs"}));
    EXPECT_NE(empty[1].find("&yellow app DOWN"), std::string::npos);
    ASSERT_TRUE(agent->prevprocs);
    EXPECT_EQ(agent->prevprocs->size(), 4u);
    fixture(kSnapshotB);
    auto third = cycle();
    EXPECT_NE(third[0].find("load=60%"), std::string::npos) << third[0];
}

TEST_F(SnapshotCycle, MissingMemoryInfoSnapshotOrProcessorCountSkipsTheTestsThatNeedThem) {
    fixture(kSnapshotA);
    cycle();
    fixture(kSnapshotB, false);
    EXPECT_EQ(words(cycle()), (std::vector<std::string>{"procs"}));
    fixture("");  // the snapshot query fails
    EXPECT_EQ(words(cycle()), (std::vector<std::string>{"mem"}));
    EXPECT_EQ(agent->prevprocs->at(1).cputime, 6000000) << "B was kept though it had no cpu report";
    agent->numcpu = 0;
    fixture(kSnapshotA);
    EXPECT_EQ(words(cycle()), (std::vector<std::string>{"mem", "procs"}));
}

TEST(WmiTests, EnvironmentFromTheCycleConfiguration) {
    Config cfg;
    cfg.modes.parse("cpu:P wmitest:t");
    cfg.host.compName = "WEB1";
    cfg.host.realcompName = "web1.example.org";
    testing::ManualClock clock;
    clock.set(0);
    WmiTestEnv env = wmitestenv(cfg, clock);
    EXPECT_EQ(env.mode, 'T');
    EXPECT_EQ(env.compName, "WEB1");
    EXPECT_EQ(env.realcompName, "web1.example.org");
    ASSERT_TRUE(env.datestamp);
    EXPECT_EQ(env.datestamp().substr(0, 11), "Thu Jan 01 ");
    EXPECT_FALSE(env.query || env.page || env.perf || env.send);
}

}  // namespace
}  // namespace tw
