#include "base/sleeptime.h"
#include "agent/core/cycle.h"

#include <gtest/gtest.h>

#include "agent/core/agent.h"
#include "agent/core/service.h"
#include "base/events.h"
#include "test/support/fake_platform.h"
#include "test/support/fake_sockets.h"

namespace tw {
namespace {

using testing::FakePlatform;
using testing::readFile;
using testing::TempDir;

TEST(Cycle, SleepIsTimerLessElapsedNeverBelowOneSecond) {
    EXPECT_EQ(sleeptime(20, 300), 280);
    EXPECT_EQ(sleeptime(400, 300), 1);
    EXPECT_EQ(sleeptime(300, 300), 1);
    EXPECT_EQ(sleeptime(0, 300), 300);
    EXPECT_EQ(sleeptime(-50, 300), 300);  // clock set back during the cycle
}

// The cycle alone: the agent's auxiliary threads are told to stop before
// any starts, so that no plugin thread moves the manual clock under it.
void alone(Agent& agent) {
    agent.aux.stopAll();
}

struct CycleFixture : ::testing::Test {
    FakePlatform fp;
    TempDir temp;
    Agent agent{fp.p};
    void SetUp() override {
        alone(agent);
        fp.system.env["TEMP"] = temp.path();
        fp.settings.setSetting("TWDISPLAY", "127.0.0.1");
        fp.settings.setSetting("Activatelog", "Y");
        fp.settings.setSetting("Timer", "7");
    }
};

TEST_F(CycleFixture, EachCycleRecreatesTheLogAndSleepsOutTheTimer) {
    fp.clock.stopAfterSleeps = 3;
    EXPECT_EQ(twmain(agent), 0);
    EXPECT_EQ(fp.clock.sleeps(), (std::vector<int64_t>{7, 7, 7}));
    std::string log = readFile(temp.file("TW.LOG"));
    EXPECT_EQ(log.rfind("Sequence: 2\r\r\n", 0), 0u) << log.substr(0, 40);
    EXPECT_EQ(log.find("Sequence: 1"), std::string::npos);
    EXPECT_NE(log.find("computer name: WEB1\r\r\n"), std::string::npos);
    // In this order; the plugin thread's lines may come between them.
    size_t at = 0;
    for (const char* line :
         {"twmain: Sleeping for 7 seconds\r\r\n", "twmain: Sleep has terminated\r\r\n",
          "Sleep has terminated in Main & mutex has been grabbed\r\r\n"}) {
        at = log.find(line, at);
        ASSERT_NE(at, std::string::npos) << line;
    }
}

TEST_F(CycleFixture, SocketLayerIsStartedOnceAndStoppedWhenTheLoopEnds) {
    testing::FakeSockets& net = fp.sockets;
    fp.clock.stopAfterSleeps = 2;
    EXPECT_EQ(twmain(agent), 0);
    EXPECT_EQ(net.starts, 1);
    EXPECT_EQ(net.stops, 1);
}

TEST_F(CycleFixture, SocketLayerThatCannotStartEndsWithStatusOneAndEventOne) {
    testing::FakeSockets& net = fp.sockets;
    net.failStart = true;
    EXPECT_EQ(twmain(agent), 1);
    EXPECT_TRUE(fp.clock.sleeps().empty());
    EXPECT_EQ(net.stops, 0);
    ASSERT_EQ(fp.events.events.size(), 1u);
    EXPECT_EQ(fp.events.events[0].identifier, 1u);
    EXPECT_EQ(fp.events.events[0].texts, std::vector<std::string>{"WSAStartup() failed"});
    EXPECT_EQ(fp.events.events[0].type, platform::EventType::Error);
}

TEST_F(CycleFixture, StartDelayIsWaitedTwiceBeforeTheFirstCycle) {
    fp.settings.setSetting("StartDelay", "2");
    fp.clock.stopAfterSleeps = 3;
    twmain(agent);
    EXPECT_EQ(fp.clock.sleeps(), (std::vector<int64_t>{120, 120, 7}));
}

TEST_F(CycleFixture, MissingDisplayEndsWithStatusOneAndAnEventEntry) {
    fp.settings.setSetting("TWDISPLAY", "");
    EXPECT_EQ(twmain(agent), 1);
    ASSERT_EQ(fp.events.events.size(), 1u);
    EXPECT_EQ(fp.events.events[0].identifier, 2u);
    EXPECT_EQ(fp.events.events[0].texts, std::vector<std::string>{"TWDISPLAY not set"});
    EXPECT_EQ(fp.events.events[0].type, platform::EventType::Error);
    EXPECT_EQ(fp.events.events[0].source, "TallwatchClient");
}

TEST_F(CycleFixture, SettingsRewrittenInPlaceAreReadAgainBeforeTheMissingDisplayIsFatal) {
    // The first read catches the file half-written, without TWDISPLAY.
    fp.settings.setSetting("TWDISPLAY", "");
    fp.clock.onSleepMs = [this](int64_t) { fp.settings.setSetting("TWDISPLAY", "127.0.0.1"); };
    fp.clock.stopAfterSleeps = 1;
    EXPECT_EQ(twmain(agent), 0);
    EXPECT_TRUE(fp.events.events.empty());
    EXPECT_EQ(agent.cfg.twdisplay, "127.0.0.1");
    EXPECT_NE(readFile(temp.file("TW.LOG"))
                  .find("TWDISPLAY is not set\r\r\nSettings read again in 1000 ms\r\r\n"),
              std::string::npos);
}

TEST_F(CycleFixture, UnusableKeyCodeIsAnErrorEntryInEveryCycle) {
    fp.settings.setSetting("KeyCode", std::string(256, 'k'));
    fp.clock.stopAfterSleeps = 2;
    EXPECT_EQ(twmain(agent), 0);
    ASSERT_EQ(fp.events.events.size(), 2u);
    for (const auto& e : fp.events.events) {
        EXPECT_EQ(e.identifier, 5u);
        EXPECT_EQ(e.type, platform::EventType::Error);
        EXPECT_NE(e.texts[0].find("KeyCode"), std::string::npos);
    }
}

TEST_F(CycleFixture, RefusedLogFileIsReportedOnceAndTheFallbackIsUsed) {
    TempDir fallback;
    fp.system.fallbacks[1] = fallback.path();
    fp.system.refusedFiles[temp.file("TW.LOG")] = "a symbolic link, not followed";
    fp.clock.stopAfterSleeps = 2;
    EXPECT_EQ(twmain(agent), 0);
    EXPECT_EQ(readFile(temp.file("TW.LOG")), "");
    const std::string log = readFile(fallback.file("TW.LOG"));
    EXPECT_NE(log.find("TW.LOG cannot be opened at " + temp.file("TW.LOG") +
                       ": a symbolic link, not followed\r\r\n"),
              std::string::npos)
        << log;
    // The refusal is in the event log too: once over both cycles.
    ASSERT_EQ(fp.events.events.size(), 1u);
    EXPECT_EQ(fp.events.events[0].identifier, 6u);
    EXPECT_EQ(fp.events.events[0].type, platform::EventType::Warning);
    EXPECT_EQ(fp.events.events[0].texts[0],
              "The diagnostic log TW.LOG cannot be opened: " + temp.file("TW.LOG") +
                  ": a symbolic link, not followed");

    // Nowhere to write: one warning entry for as long as the reason lasts.
    fp.system.refusedFiles[fallback.file("TW.LOG")] = "not a regular file";
    fp.events.events.clear();
    Agent again(fp.p);
    alone(again);
    fp.clock.clearSleeps();
    EXPECT_EQ(twmain(again), 0);
    ASSERT_EQ(fp.events.events.size(), 1u);
    EXPECT_EQ(fp.events.events[0].identifier, 6u);
    EXPECT_EQ(fp.events.events[0].type, platform::EventType::Warning);
    EXPECT_EQ(fp.events.events[0].texts[0],
              "The diagnostic log TW.LOG cannot be opened: " + temp.file("TW.LOG") +
                  ": a symbolic link, not followed; " + fallback.file("TW.LOG") +
                  ": not a regular file");
}

TEST_F(CycleFixture, UnresolvableHostEndsWithStatusOneAndEventThree) {
    fp.host.entry.reset();
    EXPECT_EQ(twmain(agent), 1);
    ASSERT_EQ(fp.events.events.size(), 1u);
    EXPECT_EQ(fp.events.events[0].identifier, 3u);
    EXPECT_EQ(fp.events.events[0].texts[0], "gethostbyname(\"web1\") call failed");
}

TEST_F(CycleFixture, ComputerNameProblemsEndTheLoopWithoutSleeping) {
    fp.host.computer.reset();
    EXPECT_EQ(twmain(agent), 0);
    EXPECT_TRUE(fp.clock.sleeps().empty());
    EXPECT_EQ(agent.serviceFlag.load(), 1);
    EXPECT_NE(readFile(temp.file("TW.LOG")).find("Can't get computer name\r\r\n"),
              std::string::npos);

    Agent again(fp.p);
    alone(again);
    fp.host.computer = "\\\\";
    EXPECT_EQ(twmain(again), 0);
    EXPECT_NE(readFile(temp.file("TW.LOG")).find("Invalid computer name\r\r\n"), std::string::npos);
}

TEST_F(CycleFixture, UnreadableSettingsSkipTheCycleAndRetryAtTheNext) {
    fp.settings.setHealthy(false, "/x/registry.reg:4: unexpected text");
    fp.clock.stopAfterSleeps = 2;
    EXPECT_EQ(twmain(agent), 0);
    // Two cycles, each with an error entry naming the file and line, and no load.
    ASSERT_EQ(fp.events.events.size(), 2u);
    EXPECT_NE(fp.events.events[0].texts[0].find("/x/registry.reg:4"), std::string::npos);
    EXPECT_EQ(fp.clock.sleeps().size(), 2u);
}

TEST_F(CycleFixture, LogOffWhenActivatelogIsNotYes) {
    fp.settings.setSetting("Activatelog", "no");
    fp.clock.stopAfterSleeps = 1;
    twmain(agent);
    EXPECT_EQ(readFile(temp.file("TW.LOG")), "");
}

TEST(Service, ReportsStartPendingThenRunningAndStopsOnControl) {
    FakePlatform fp;
    fp.settings.setSetting("TWDISPLAY", "127.0.0.1");
    fp.clock.stopAfterSleeps = 1;
    Agent agent(fp.p);
    alone(agent);
    Service service(agent);
    EXPECT_EQ(service.start(), 0);
    ASSERT_GE(fp.dispatcher.statuses.size(), 2u);
    auto& pending = fp.dispatcher.statuses[0];
    EXPECT_EQ(pending.state, platform::ServiceState::StartPending);
    EXPECT_EQ(pending.checkpoint, 1u);
    EXPECT_EQ(pending.waitHint, 3000u);
    EXPECT_EQ(pending.controlsAccepted, 0u);
    auto& running = fp.dispatcher.statuses[1];
    EXPECT_EQ(running.state, platform::ServiceState::Running);
    EXPECT_EQ(running.checkpoint, 0u);
    EXPECT_EQ(running.controlsAccepted, platform::kServiceAcceptStop);
    ASSERT_FALSE(fp.events.events.empty());
    EXPECT_EQ(fp.events.events[0].texts[0], "Started Tallwatch Professional Edition Client 5.01");
    EXPECT_EQ(fp.events.events[0].identifier, 256u);

    fp.dispatcher.handler(platform::kServiceControlStop);
    auto n = fp.dispatcher.statuses.size();
    EXPECT_EQ(fp.dispatcher.statuses[n - 2].state, platform::ServiceState::StopPending);
    EXPECT_EQ(fp.dispatcher.statuses[n - 2].checkpoint, 2u);
    EXPECT_EQ(fp.dispatcher.statuses[n - 1].state, platform::ServiceState::Stopped);
    EXPECT_EQ(fp.events.events.back().texts[0],
              "Stopped Tallwatch Professional Edition Client 5.01");
    EXPECT_EQ(agent.serviceFlag.load(), 1);
}

TEST(Service, RunningThatCannotBeReportedStopsWithoutTheStoppedEntry) {
    FakePlatform fp;
    fp.dispatcher.failState = platform::ServiceState::Running;
    Agent agent(fp.p);
    alone(agent);
    Service service(agent);
    service.start();
    EXPECT_TRUE(fp.events.events.empty());
    EXPECT_EQ(agent.serviceFlag.load(), 1);
    EXPECT_EQ(fp.dispatcher.statuses.back().state, platform::ServiceState::Stopped);
}

// The code is written as a signed number, as the event entry's form has
// it (a status code with the high bit set used to read as unsigned).
TEST(Service, DispatcherFailureOutsideAServiceManagerIsLoggedFaultCodeWrittenUnsigned) {
    const struct {
        uint32_t code;
        const char* text;
    } cases[] = {{1063, "TallwatchClient error: 1063"},
                 {0xC0000005u, "TallwatchClient error: -1073741819"}};
    for (const auto& c : cases) {
        FakePlatform fp;
        fp.dispatcher.underManager = false;
        fp.system.lastError = c.code;
        Agent agent(fp.p);
        Service service(agent);
        EXPECT_EQ(service.start(), 0);
        ASSERT_EQ(fp.events.events.size(), 1u);
        EXPECT_EQ(fp.events.events[0].identifier, 0u);
        EXPECT_EQ(fp.events.events[0].texts,
                  (std::vector<std::string>{c.text, "StartServiceCtrlDispatcher failed."}));
        EXPECT_EQ(service.savedError(), c.code);
    }
}

}  // namespace
}  // namespace tw
