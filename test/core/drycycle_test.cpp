#include "agent/core/drycycle.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "agent/core/base/events.h"
#include "platform/fixture_wmi_provider.h"
#include "test/support/fake_directory.h"
#include "test/support/fake_launcher.h"
#include "test/support/fake_platform.h"
#include "test/support/fake_sockets.h"
#include "test/support/switch_wmi_provider.h"

namespace tw {
namespace {

using testing::FakePlatform;

// One processor, three processes and a second snapshot one second on; the
// services, an interface whose counters grow, and the memory figures.
const char* const kFixture = R"({
  "Win32_Processor": [{"NumberOfCores": 1, "NumberOfLogicalProcessors": 1}],
  "Win32_ComputerSystem": [{"Name": "WEB1", "TotalPhysicalMemory": "4294967296"}],
  "Win32_OperatingSystem": [{"LastBootUpTime": {"$ago": 90000}, "FreePhysicalMemory": "1048576",
      "TotalVirtualMemorySize": "4194304", "FreeVirtualMemory": "2097152",
      "SizeStoredInPagingFiles": "1048576", "FreeSpaceInPagingFiles": "524288"}],
  "Win32_PerfRawData_PerfProc_Process": [
    {"Name": "Idle", "IDProcess": 0, "PercentProcessorTime": "0",
     "Timestamp_Sys100NS": {"$seq": ["10000000", "20000000"]}},
    {"Name": "app", "IDProcess": 100, "PercentProcessorTime": {"$seq": ["1000000", "6000000"]},
     "Timestamp_Sys100NS": {"$seq": ["10000000", "20000000"]}},
    {"Name": "_Total", "IDProcess": 0, "PercentProcessorTime": "0",
     "Timestamp_Sys100NS": {"$seq": ["10000000", "20000000"]}}],
  "Win32_Service": [
    {"Name": "Themes", "DisplayName": "Themes", "State": "Stopped"},
    {"Name": "Spooler", "DisplayName": "Print Spooler", "State": "Running"}],
  "Win32_PerfRawData_Tcpip_NetworkInterface": [
    {"Name": "eth0", "CurrentBandwidth": 100000000,
     "BytesReceivedPerSec": {"$seq": ["1000", "2000"]},
     "BytesSentPerSec": {"$seq": ["10", "20"]}}]
})";

struct DryCycle : ::testing::Test {
    FakePlatform fp;
    testing::FakeSockets sockets;
    testing::FakeDirectory dir;
    testing::FakeLauncher launcher;
    testing::TempDir temp;
    std::unique_ptr<platform::WmiProvider> fixture;
    std::unique_ptr<testing::SwitchWmiProvider> wmi;

    void SetUp() override {
        testing::writeFile(temp.file("wmi.json"), kFixture);
        fixture = platform::makeFixtureWmiProvider(temp.file("wmi.json"), fp.clock, fp.settings);
        wmi = std::make_unique<testing::SwitchWmiProvider>(*fixture);
        fp.p.wmi = wmi.get();
        fp.p.sockets = &sockets;
        fp.p.directory = &dir;
        fp.p.launcher = &launcher;
        fp.system.env["TEMP"] = temp.path();
        fp.settings.setSetting("TWDISPLAY", "disp;[::1]:1986");
        fp.settings.setSetting("SendPageAlerts", "Y");
        fp.settings.setSetting("Activatelog", "Y");
    }
    // The given tests enabled (their entries come first, so they count),
    // every other one disabled.
    void tests(const std::string& enabled) {
        fp.settings.setSetting("Tests", enabled +
                                            " procs:D msgs:D cpu:D disk:D netprotl:D mem:D "
                                            "pagefile:D svcs:D netdata:D wmitest:D");
    }
};

TEST_F(DryCycle, ServiceRestartsProgramsAndWorkFilesAreListedButNothingIsDoneOrSent) {
    tests("svcs:P");
    fp.settings.setSetting("Services", "Themes:R:R:Y;printspooler");
    fp.settings.setSetting("Externals", "/opt/check.sh -q /int=60; /missing/prog");
    dir.setKind("/opt/check.sh", platform::PathKind::Regular);
    fp.settings.setSetting("ExternalPath", dir.root());
    dir.add("diskcheck", ":red disk full\n");
    dir.add("-persist", "green fine");

    const DryRun run = drycycle(fp.p);
    ASSERT_TRUE(run.loaded) << run.failure;

    // The svcs report goes out first, then its page; both would reach both
    // displays (TWPAGE is a copy of TWDISPLAY).
    ASSERT_EQ(run.messages.size(), 2u);
    const std::vector<std::string> where = {"disp:1984", "[::1]:1986"};
    EXPECT_EQ(run.messages[0].kind, "status");
    EXPECT_EQ(run.messages[1].kind, "page");
    for (const DryMessage& m : run.messages) {
        EXPECT_EQ(m.destinations, where);
        EXPECT_NE(m.text.find(".svcs red "), std::string::npos) << m.text;
        EXPECT_NE(m.text.find("&red Themes - Stopped - Restart attempted\r\n"), std::string::npos);
        EXPECT_EQ(m.notes, std::vector<std::string>{"would restart the service Themes (not done)"});
    }
    EXPECT_EQ(run.messages[1].text.rfind("page   web1.svcs red ", 0), 0u);
    EXPECT_EQ(drystatus(run), 2);

    // Nothing happened: no service method, no name looked up or socket
    // opened, no program started, no work file deleted, no log, no entry.
    EXPECT_TRUE(wmi->calls.empty());
    EXPECT_TRUE(sockets.resolves.empty());
    EXPECT_EQ(sockets.opened, 0);
    EXPECT_EQ(launcher.startCount(), 0u);
    EXPECT_TRUE(dir.removed.empty());
    EXPECT_TRUE(dir.has("diskcheck"));
    EXPECT_FALSE(std::filesystem::exists(temp.file("TW.LOG")));
    EXPECT_TRUE(fp.events.events.empty());
    EXPECT_EQ(sockets.starts, 1);
    EXPECT_EQ(sockets.stops, 1);

    ASSERT_EQ(run.externals.size(), 2u);
    ASSERT_TRUE(run.externals[0].program);
    EXPECT_EQ(run.externals[0].program->program, "/opt/check.sh");
    EXPECT_EQ(run.externals[0].program->args, "-q");
    EXPECT_EQ(run.externals[0].program->interval, 60);
    EXPECT_EQ(run.externals[1].entry, "/missing/prog");
    EXPECT_FALSE(run.externals[1].program);

    EXPECT_TRUE(run.externalpathReadable);
    ASSERT_EQ(run.workfiles.size(), 2u);
    EXPECT_EQ(run.workfiles[0].path, dir.path("diskcheck"));
    EXPECT_EQ(run.workfiles[0].messages, 1);
    EXPECT_TRUE(run.workfiles[0].deleted);
    EXPECT_EQ(run.workfiles[1].path, dir.path("-persist"));
    EXPECT_FALSE(run.workfiles[1].deleted);
}

TEST_F(DryCycle, CpuAndNetdataReportOnASecondSampleTakenOneSecondLater) {
    tests("cpu:P netdata:P");
    fp.settings.setSetting("NetworkInterfaces", "eth0 100MBPS:50:80:50:80");
    const DryRun run = drycycle(fp.p);
    ASSERT_TRUE(run.loaded) << run.failure;
    EXPECT_EQ(fp.clock.sleeps(), std::vector<int64_t>{1});
    ASSERT_EQ(run.messages.size(), 2u);
    EXPECT_EQ(run.messages[0].text.rfind("status web1.cpu ", 0), 0u);
    // app used half of the one processor between the samples.
    EXPECT_NE(run.messages[0].text.find("load=50%"), std::string::npos) << run.messages[0].text;
    EXPECT_EQ(run.messages[1].text.rfind("status web1.netdata green ", 0), 0u);
    for (const DryMessage& m : run.messages)
        EXPECT_EQ(m.notes, std::vector<std::string>{kSecondSampleNote});
    EXPECT_EQ(drystatus(run), 0);
}

TEST_F(DryCycle, WithoutATwoSampleTestThereIsNoWaitAndAKeyCodeIsNoted) {
    tests("procs:P");
    fp.settings.setSetting("KeyCode", "secret");
    const DryRun run = drycycle(fp.p);
    EXPECT_TRUE(fp.clock.sleeps().empty());
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_NE(run.messages[0].text.find(".procs green "), std::string::npos);
    EXPECT_EQ(run.messages[0].notes, std::vector<std::string>{"sent encrypted with the KeyCode"});
    EXPECT_EQ(drystatus(run), 0);
}

// A load that fails writes the cycle's own event entry and nothing else;
// the failures the cycle survives end a dry run too, without an entry.
TEST_F(DryCycle, SettingsThatDoNotLoadEndWithStatusOne) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string failure;
        uint32_t event;  // 0: no entry
    };
    const std::vector<Case> cases = {
        {"unreadable settings file", [&] { fp.settings.setHealthy(false, "registry.reg:5: oops"); },
         "Settings cannot be read: registry.reg:5: oops", kEventSettingsUnreadable},
        {"no TWDISPLAY", [&] { fp.settings.setSetting("TWDISPLAY", ""); }, "TWDISPLAY not set",
         kEventNoDisplay},
        {"unresolvable host", [&] { fp.host.entry.reset(); }, "gethostbyname(\"web1\") call failed",
         kEventHostName},
        {"KeyCode too long", [&] { fp.settings.setSetting("KeyCode", std::string(300, 'k')); },
         "The KeyCode is longer than 255 characters and cannot be used: no message is sent, none "
         "goes out in clear",
         0},
        {"no computer name", [&] { fp.host.computer.reset(); }, "Can't get computer name", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fp.settings.setHealthy(true);
        fp.host.entry = platform::HostEntry{"web1.corp.lan", "10.1.2.3"};
        fp.host.computer = "WEB1";
        fp.settings.setSetting("KeyCode", "");
        fp.events.events.clear();
        tests("svcs:P");
        c.arrange();
        const DryRun run = drycycle(fp.p);
        EXPECT_FALSE(run.loaded);
        EXPECT_EQ(run.failure, c.failure);
        EXPECT_TRUE(run.messages.empty());
        EXPECT_EQ(drystatus(run), 1);
        if (c.event == 0) {
            EXPECT_TRUE(fp.events.events.empty());
        } else {
            ASSERT_EQ(fp.events.events.size(), 1u);
            EXPECT_EQ(fp.events.events[0].identifier, c.event);
            EXPECT_EQ(fp.events.events[0].texts, std::vector<std::string>{c.failure});
        }
    }
}

TEST(DryStatus, FollowsTheColoursAndTheLoad) {
    struct Case {
        std::vector<std::string> colours;
        int status;
    };
    for (const Case& c : std::vector<Case>{{{}, 0},
                                           {{"green", "green"}, 0},
                                           {{"green", "yellow"}, 2},
                                           {{"red"}, 2},
                                           {{"clear", "green"}, 0}}) {
        DryRun run;
        run.loaded = true;
        for (const std::string& colour : c.colours)
            run.messages.push_back({"status", {"d:1984"}, "status web1.x " + colour + " now", {}});
        EXPECT_EQ(drystatus(run), c.status) << ::testing::PrintToString(c.colours);
    }
    DryRun failed;
    failed.messages.push_back({"status", {"d:1984"}, "status web1.x green now", {}});
    EXPECT_EQ(drystatus(failed), 1);
}

}  // namespace
}  // namespace tw
