#include "agent/ext/auxthreads.h"

#include <gtest/gtest.h>

#include <atomic>

#include "agent/core/agent.h"
#include "agent/core/cycle.h"
#include "test/support/ext_harness.h"
#include "test/support/process.h"

namespace tw {
namespace {

using testing::readFile;
using testing::waitFor;

TEST(AuxThreads, StopEndsALongSleepPromptlyAndJoinsEveryThread) {
    testing::ManualClock clock;
    clock.paced = true;
    testing::ExtHarness h({.clock = &clock});
    std::atomic<int> woke{0};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(h.threads.start([&] {
            if (!auxsleep(h.x, 1'000'000)) ++woke;
        }));
    EXPECT_EQ(h.threads.count(), 3u);
    ASSERT_TRUE(waitFor([&] { return clock.slices() >= 3; }, 5000));
    h.threads.stopAll();  // would hang for days if the sleeps did not notice
    EXPECT_EQ(woke.load(), 3);
    EXPECT_EQ(h.threads.count(), 0u);
    // Once told to stop, no new thread starts.
    EXPECT_FALSE(h.threads.start([] {}));
}

TEST(AuxThreads, AThreadThatThrowsEndsAloneAndStopsNothingElse) {
    testing::ExtHarness h;
    ASSERT_TRUE(h.threads.start([] { throw std::runtime_error("boom"); }));
    h.threads.stopAll();
    SUCCEED();
}

TEST(AuxThreads, ProcessStopRequestEndsTheSleep) {
    testing::ExtHarness h;
    h.system.stop = true;
    EXPECT_FALSE(auxsleep(h.x, 10));
}

// The cycle with the real thread wiring on fakes.
struct CycleWithThreads : ::testing::Test {
    testing::FakePlatform fp;
    testing::TempDir temp;
    testing::ManualClock& clock = fp.clock;
    testing::FakeDirectory& dir = fp.directory;
    testing::FakeLauncher& launcher = fp.launcher;
    testing::FakeSockets& sockets = fp.sockets;
    std::unique_ptr<Agent> agent;
    void SetUp() override {
        clock.paced = true;
        sockets.addHost("127.0.0.1", {"127.0.0.1"});
        fp.system.env["TEMP"] = temp.path();
        fp.settings.setSetting("TWDISPLAY", "127.0.0.1");
        fp.settings.setSetting("Activatelog", "Y");
        fp.settings.setSetting("Timer", "1");
        fp.settings.setSetting("PluginTimer", "1");
        fp.settings.setSetting(
            "Tests",
            "procs:D msgs:D cpu:D disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D wmitest:D");
        fp.settings.setSetting("ExternalPath", dir.root());
        agent = std::make_unique<Agent>(fp.p);
    }
};

TEST_F(CycleWithThreads, PluginAndExternalThreadsWorkWhileTheCycleSleepsAndEndWithIt) {
    fp.settings.setSetting("Externals", " /opt/run.sh  arg one /int=1 ; /opt/missing ");
    dir.setKind("/opt/run.sh", platform::PathKind::Regular);
    dir.add("DISKX", "myhost.corp:red+30 Disk full\n");
    bool sawAll = false;
    clock.onSleepSeconds = [&](int64_t) {
        sawAll = waitFor([&] { return !dir.has("DISKX") && launcher.startCount() >= 2; }, 10000);
        agent->serviceFlag.store(1);
        return true;
    };
    EXPECT_EQ(twmain(*agent), 0);
    EXPECT_TRUE(sawAll);
    EXPECT_EQ(agent->aux.count(), 0u);
    ASSERT_FALSE(sockets.deliveries.empty());
    EXPECT_EQ(sockets.deliveries[0].bytes,
              std::string("status+30 myhost,corp.DISKX red    Disk full\n") + '\0');
    auto starts = launcher.starts();
    for (auto& s : starts) EXPECT_EQ(s, (testing::FakeLauncher::Start{"/opt/run.sh", "arg one"}));
    std::string log = readFile(temp.file("TW.LOG"));
    EXPECT_NE(log.find("Launching thread for external = </opt/missing>"), std::string::npos);
}

TEST_F(CycleWithThreads, FatalLoadOutcomeStillJoinsThePluginThread) {
    fp.settings.setSetting("TWDISPLAY", "");
    EXPECT_EQ(twmain(*agent), 1);
    EXPECT_EQ(agent->aux.count(), 0u);
    EXPECT_EQ(dir.lists(), 0);  // it never scanned: the cycle held the mutex throughout
}

}  // namespace
}  // namespace tw
