// twnt's commands against a temporary settings file and unit folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "agent/core/config.h"
#include "platform/posix/file_settings_store.h"
#include "test/support/fake_platform.h"
#include "test/support/process.h"

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
        return {{"TWNT_REGISTRY", reg}, {"TWNT_UNIT_DIR", units}, {"TWNT_EVENTLOG", dir.file("ev.log")}};
    }
    testing::RunResult twnt(const std::vector<std::string>& args) {
        return runProgram(testing::binaryPath("twnt"), args, env());
    }
    std::optional<std::string> setting(const std::string& name) {
        auto store = platform::makeFileSettingsStore(reg);
        auto v = store->getValue(std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\") + name, "");
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
    EXPECT_NE(unit.find("Description=Tallwatch Professional Edition Client 5.01\n"), std::string::npos);
    EXPECT_NE(unit.find("ExecStart=" + testing::binaryPath("twnt") + "\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("Restart=no\n"), std::string::npos);
    EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos);
    for (const auto& def : kSettingsTable) EXPECT_TRUE(setting(def.name)) << def.name;
    EXPECT_EQ(*setting("IPport"), "2000");
    EXPECT_NE(readFile(reg).find("EventLog\\Application\\TallwatchClient]"), std::string::npos);

    r = twnt({"-install", "127.0.0.1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("\r\nTallwatch Professional Edition Client is already installed !!!\r\n\r\nUsage:", 0), 0u);

    r = twnt({"/remove"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Tallwatch Professional Edition Client 5.01 removed.\r\n");
    EXPECT_FALSE(std::filesystem::exists(units + "/TallwatchClient.service"));
    for (const auto& def : kSettingsTable) EXPECT_FALSE(setting(def.name)) << def.name;
}

TEST_F(AgentCommands, UsageAndLineLimits) {
    auto r = twnt({"-install"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Usage:\ttwnt\r\n\ttwnt -install TWDISPLAY [FQDN] [IPPORT]\r\n\ttwnt -upgrade\r\n\ttwnt -remove\r\n");
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
    const std::string broken = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\X]\nbroken\n";
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
