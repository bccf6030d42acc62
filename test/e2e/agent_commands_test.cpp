// twnt's commands against a temporary settings file and unit folder.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include "agent/core/config.h"
#include "platform/posix/file_settings_store.h"
#include "test/support/e2e.h"
#include "test/support/fake_platform.h"
#include "test/support/process.h"
#include "test/support/twrecv_process.h"

namespace tw {
namespace {

using testing::readFile;
using testing::runProgram;
using testing::TempDir;

struct AgentCommands : ::testing::Test {
    TempDir dir;
    std::string reg = dir.file("registry.reg");
    std::string units = dir.file("units");
    std::map<std::string, std::string> env() {
        return {{"TWNT_REGISTRY", reg},
                {"TWNT_UNIT_DIR", units},
                {"TWNT_EVENTLOG", dir.file("ev.log")}};
    }
    testing::RunResult twnt(const std::vector<std::string>& args) {
        return runProgram(testing::binaryPath("twnt"), args, env());
    }
    std::optional<std::string> setting(const std::string& name) {
        auto store = platform::makeFileSettingsStore(reg);
        auto v = store->getValue(
            std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\") + name,
            "");
        if (!v) return std::nullopt;
        return v->data;
    }
    void SetUp() override { std::filesystem::create_directories(units); }
};

TEST_F(AgentCommands, InstallWritesUnitAndSettingsThenRemoveTakesThemAway) {
    auto r = twnt({"-install", "127.0.0.1", "N", "2000"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Tallwatch Professional Edition Client 5.01 installed.\r\n");
    std::string unit = readFile(units + "/TallwatchClient.service");
    EXPECT_NE(unit.find("Description=Tallwatch Professional Edition Client 5.01\n"),
              std::string::npos);
    EXPECT_NE(unit.find("ExecStart=" + testing::binaryPath("twnt") + "\n"), std::string::npos)
        << unit;
    EXPECT_NE(unit.find("Restart=on-failure\nRestartSec=60\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos);
    for (const auto& def : kSettingsTable) EXPECT_TRUE(setting(def.name)) << def.name;
    EXPECT_EQ(*setting("IPport"), "2000");
    EXPECT_NE(readFile(reg).find("EventLog\\Application\\TallwatchClient]"), std::string::npos);

    r = twnt({"-install", "127.0.0.1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.out.rfind(
            "\r\nTallwatch Professional Edition Client is already installed !!!\r\n\r\nUsage:", 0),
        0u);

    r = twnt({"/remove"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Tallwatch Professional Edition Client 5.01 removed.\r\n");
    EXPECT_FALSE(std::filesystem::exists(units + "/TallwatchClient.service"));
    for (const auto& def : kSettingsTable) EXPECT_FALSE(setting(def.name)) << def.name;
}

TEST_F(AgentCommands, UsageAndLineLimits) {
    auto r = twnt({"-install"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "Usage:\ttwnt\r\n\ttwnt -install TWDISPLAY [FQDN] [IPPORT]\r\n\ttwnt "
              "-upgrade\r\n\ttwnt -remove\r\n\ttwnt -test [--json]\r\n");
    r = twnt({"-install", std::string(240, 'h'), "Y", "\"1985\""});  // 256 joined characters
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\r\ntwnt: Command line too long\r\n");
    r = twnt({"-install", std::string(237, 'h'), "Y", "1985"});  // 255
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(setting("TWDISPLAY")->size(), 237u);
    r = twnt({"-install", "h\xe9t\xf4", "Y", "1985"});
    EXPECT_EQ(r.status, 1);  // already installed
}

TEST_F(AgentCommands, InstallOverAnUnparsableSettingsFileChangesNothing) {
    const std::string broken =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\X]\nbroken\n";
    testing::writeFile(reg, broken);
    auto r = twnt({"-install", "127.0.0.1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(reg + ":4"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(reg), broken);
    EXPECT_FALSE(std::filesystem::exists(units + "/TallwatchClient.service"));
}

TEST_F(AgentCommands, StartFailsOfflineWithItsText) {
    ASSERT_EQ(twnt({"-install", "127.0.0.1"}).status, 0);
    auto r = twnt({"-start"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't retrieve Tallwatch Professional Edition Client service status\r\n");
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// Every class the built-in tests ask for, so that no fetch waits for data.
const char* const kHostFixture = R"({
  "Win32_Processor": [{"NumberOfCores": 1, "NumberOfLogicalProcessors": 2}],
  "Win32_ComputerSystem": [{"Name": "E2EHOST", "TotalPhysicalMemory": "8589934592"}],
  "Win32_OperatingSystem": [{"LastBootUpTime": {"$ago": 90000}, "FreePhysicalMemory": "4194304",
      "TotalVisibleMemorySize": "8388608", "TotalVirtualMemorySize": "8388608",
      "FreeVirtualMemory": "4194304", "SizeStoredInPagingFiles": "1048576",
      "FreeSpaceInPagingFiles": "524288"}],
  "Win32_PerfFormattedData_PerfOS_Memory": [{"CommitLimit": "8589934592", "CommittedBytes": "1073741824"}],
  "Win32_PerfFormattedData_PerfOS_System": [{"SystemUpTime": "90000"}],
  "Win32_PerfRawData_PerfProc_Process": [], "Win32_Process": [],
  "Win32_LogicalDisk": [{"Name": "C:", "DriveType": 3, "Size": "107374182400",
      "FreeSpace": "53687091200", "VolumeName": "/"}],
  "Win32_NTLogEvent": [], "Win32_Service": [], "Win32_PageFileUsage": [],
  "Win32_NetworkProtocol": [], "Win32_PerfRawData_Tcpip_NetworkInterface": []
})";

TEST_F(AgentCommands, InstalledAgentReportsToTheDisplayServerOnThePortGiven) {
    std::filesystem::create_directories(dir.file("out"));
    testing::TwrecvProcess recv;
    ASSERT_TRUE(recv.start({"--out", dir.file("out"), "--bind", "127.0.0.1"}));
    auto r = twnt({"-install", "127.0.0.1", "N", std::to_string(recv.port())});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    testing::writeFile(dir.file("fixture.json"), kHostFixture);
    auto e = env();
    e["TWNT_WMI_FIXTURE"] = dir.file("fixture.json");
    e["TEMP"] = dir.path();
    testing::Process agent(testing::binaryPath("twnt"), {"-app"}, e, dir.path());
    auto texts = [&] {
        std::string all;
        for (auto& f : std::filesystem::directory_iterator(dir.file("out")))
            all += readFile(f.path()) + "\n";
        return all;
    };
    ASSERT_TRUE(testing::waitFor(
        [&] {
            std::string t = texts();
            return t.find(".mem green ") != std::string::npos &&
                   t.find(".disk green ") != std::string::npos;
        },
        15000))
        << texts() << agent.err();
    agent.signal(SIGTERM);
    EXPECT_EQ(agent.wait(testing::kAgentStopMs), 0);
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

TEST_F(AgentCommands, UpgradeConvertsAnOlderInstallation) {
    ASSERT_EQ(twnt({"-install", "127.0.0.1"}).status, 0);
    // Make it look like an earlier version: settings under the older key,
    // an old switch, no Tests, a Defaults without PAGEFILE.
    auto store = platform::makeFileSettingsStore(reg);
    const std::string now = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";
    const std::string old = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallwatch\\twnt\\";
    for (const auto& def : kSettingsTable) store->deleteKey(now + def.name);
    store->deleteKey(now.substr(0, now.size() - 1));
    store->setValue(old + "TWDISPLAY", "", platform::RegValue::sz("display9"));
    store->setValue(old + "Defaults", "", platform::RegValue::sz("CPU:70:90 DISK:80:90"));
    store->setValue(old + "CPUalwaysGreen", "", platform::RegValue::sz("Y"));
    auto r = twnt({"-upgrade"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Tallwatch Professional Edition Client upgraded\r\n");
    EXPECT_EQ(*setting("TWDISPLAY"), "display9");
    EXPECT_EQ(*setting("Tests"),
              "procs:P msgs:P cpu:G disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D");
    EXPECT_EQ(*setting("Defaults"), "CPU:70:90 DISK:80:90 PAGEFILE:80:90");
    for (const auto& def : kSettingsTable) EXPECT_TRUE(setting(def.name)) << def.name;
    EXPECT_FALSE(store->keyExists(old.substr(0, old.size() - 1)));
}

TEST_F(AgentCommands, RemoveLeavesEverythingWhileTwoUninstallEntriesExist) {
    ASSERT_EQ(twnt({"-install", "127.0.0.1"}).status, 0);
    auto store = platform::makeFileSettingsStore(reg);
    const std::string un =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    store->createKey(un + "Tallwatch Professional Edition Client");
    store->createKey(un + "Tallwatch System and Network Monitor Client");
    auto r = twnt({"-remove"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(setting("TWDISPLAY"));
    EXPECT_TRUE(std::filesystem::exists(units + "/TallwatchClient.service"));
    r = twnt({"remove"});  // no switch character: nothing at all
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace tw
