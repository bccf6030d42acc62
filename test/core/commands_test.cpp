#include "agent/core/commands.h"

#include <gtest/gtest.h>

#include "agent/core/agent.h"
#include "agent/wmitests/definitions.h"
#include "base/events.h"
#include "test/support/fake_platform.h"

namespace tw {
namespace {

using platform::ServiceState;
using testing::FakePlatform;

// Records the order of setting writes.
class RecordingStore : public testing::MemorySettingsStore {
  public:
    bool setValue(const std::string& key, const std::string& name,
                  const platform::RegValue& v) override {
        writes.push_back(key.substr(key.find_last_of('\\') + 1));
        return MemorySettingsStore::setValue(key, name, v);
    }
    std::vector<std::string> writes;
};

struct CommandsTest : ::testing::Test {
    RecordingStore store;
    FakePlatform fp{{.settings = &store}};
    testing::FakeServiceManager& sm = fp.services;
    Agent agent{fp.p};
    std::string out, err;
    Console console{[this](const std::string& s) { out += s; },
                    [this](const std::string& s) { err += s; }};

    int run(const std::string& joined) {
        out.clear();
        err.clear();
        return rundispatcher(agent, joined, console);
    }
    std::optional<std::string> setting(const std::string& name) { return store.setting(name); }
    std::string oldKey(const std::string& name) {
        return std::string(kHklm) + kOldSettingsKey + name;
    }
};

const std::string kUsage =
    "Usage:\ttwnt\r\n\ttwnt -install TWDISPLAY [FQDN] [IPPORT]\r\n\ttwnt -upgrade\r\n\ttwnt "
    "-remove\r\n\ttwnt -test [--json]\r\n";

TEST_F(CommandsTest, MalformedInstallLinesPrintTheUsage) {
    for (const char* line : {"-install ", "-install hostA maybe ", "-install hostA Y abc ",
                             "-install hostA Y 0 ", "-bogus ", "-INSTALLX host ", "-test --xml "}) {
        EXPECT_EQ(run(line), 1) << line;
        EXPECT_EQ(out, kUsage) << line;
    }
    EXPECT_FALSE(setting("TWDISPLAY"));
    EXPECT_FALSE(sm.exists);
}

TEST_F(CommandsTest, InstallWritesAllSettingsInItsOrderWithTheDefaults) {
    fp.host.entry = platform::HostEntry{"web1.corp.lan", "10.0.0.1"};
    ASSERT_EQ(run("-install hostA N 2000 "), 0);
    EXPECT_EQ(out, "Tallwatch Professional Edition Client 5.01 installed.\r\n");
    EXPECT_EQ(sm.def.name, "TallwatchClient");
    EXPECT_EQ(sm.def.displayName, "Tallwatch Professional Edition Client 5.01");
    EXPECT_EQ(sm.def.binaryPath, "/opt/twnt/twnt");
    const std::vector<std::string> order = {"TWDISPLAY",      "TWPAGE",         "IPport",
                                            "FQDN",           "CPUrebootcolor", "CPUrebootmins",
                                            "CPUupdayscolor", "CPUupdays",      "Procs",
                                            "Externals",      "Services",       "Activatelog",
                                            "DiskList",       "SendPageAlerts", "Defaults",
                                            "MemLevels",      "StartDelay",     "Timer",
                                            "PluginTimer",    "MsgLevels",      "IgnoreMsgs",
                                            "ExternalPath",   "PageLevels",     "AliasName",
                                            "KeyCode",        "Tests",          "NetworkInterfaces",
                                            "WMITests",       "WMIPool",        "TallwatchClient",
                                            "TallwatchClient"};
    EXPECT_EQ(store.writes, order);
    EXPECT_EQ(*setting("TWDISPLAY"), "hostA");
    EXPECT_EQ(*setting("TWPAGE"), "hostA");
    EXPECT_EQ(*setting("IPport"), "2000");
    EXPECT_EQ(*setting("FQDN"), "N");
    EXPECT_EQ(*setting("AliasName"), "web1.corp.lan");
    EXPECT_EQ(*setting("Tests"),
              "procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D");
    EXPECT_EQ(*setting("PageLevels"), "red purple ");
    EXPECT_EQ(*setting("WMITests"), "");
    EXPECT_EQ(*setting("WMIPool"), defaultwmipool());
    auto src = store.getValue(kEventSourceKey, "TypesSupported");
    ASSERT_TRUE(src);
    EXPECT_EQ(src->dword, 7u);
    EXPECT_EQ(store.getValue(kEventSourceKey, "EventMessageFile")->type,
              platform::RegType::ExpandSz);
}

TEST_F(CommandsTest, InstallDefaultsAndNegativePort) {
    ASSERT_EQ(run("-install hostA y -5 "), 0);
    EXPECT_EQ(*setting("IPport"), "-5");
    EXPECT_EQ(*setting("FQDN"), "y");
    store.tree().clear();
    sm.exists = false;
    fp.host.entry.reset();  // the host name does not resolve: no alias
    ASSERT_EQ(run("/install hostB "), 0);
    EXPECT_EQ(*setting("IPport"), "1984");
    EXPECT_EQ(*setting("FQDN"), "Y");
    EXPECT_EQ(*setting("AliasName"), "");
}

TEST_F(CommandsTest, AlreadyInstalledChangesNothing) {
    store.setSetting("twdisplay", "old");
    ASSERT_EQ(run("-install hostA "), 1);
    EXPECT_EQ(
        out, "\r\nTallwatch Professional Edition Client is already installed !!!\r\n\r\n" + kUsage);
    EXPECT_EQ(*setting("TWDISPLAY"), "old");
    EXPECT_FALSE(sm.exists);
    // An older installation counts too.
    store.tree().clear();
    store.setValue(oldKey("TWDISPLAY"), "", platform::RegValue::sz("x"));
    EXPECT_EQ(run("-install hostA "), 1);
}

TEST_F(CommandsTest, ExistingServiceStillGetsEverySettingRewritten) {
    sm.exists = true;
    ASSERT_EQ(run("-install hostA "), 0);
    EXPECT_EQ(out, "CreateService failed - The specified service already exists. (0x431)\r\n");
    EXPECT_EQ(*setting("Timer"), "300");
}

TEST_F(CommandsTest, NoServiceManagerMeansNotInstalled) {
    sm.managerOk = false;
    EXPECT_EQ(run("-install hostA "), 1);
    EXPECT_EQ(out,
              "OpenSCManager failed - no manager (0x6ba)\r\n"
              "\r\nTallwatch Professional Edition Client could not be installed !!!\r\n\r\n" +
                  kUsage);
    EXPECT_FALSE(setting("TWDISPLAY"));
}

TEST_F(CommandsTest, InstallRefusesAnUnreadableSettingsFile) {
    store.setHealthy(false, "/x/registry.reg:3: malformed key line");
    EXPECT_EQ(run("-install hostA "), 1);
    EXPECT_NE(err.find("/x/registry.reg:3"), std::string::npos);
    EXPECT_FALSE(sm.exists);
}

TEST_F(CommandsTest, RemoveStopsDeletesServiceAndEverySetting) {
    ASSERT_EQ(run("-install hostA "), 0);
    sm.state = ServiceState::Running;
    store.setSetting("Unknown", "stays");
    ASSERT_EQ(run("/REMOVE "), 0);
    EXPECT_EQ(out,
              "Stopping Tallwatch Professional Edition Client 5.01...\r\n"
              "Tallwatch Professional Edition Client 5.01 stopped.\r\n"
              "Tallwatch Professional Edition Client 5.01 removed.\r\n");
    EXPECT_TRUE(sm.deleted);
    for (const auto& def : kSettingsTable) EXPECT_FALSE(setting(def.name)) << def.name;
    // The key itself could not go (an unknown subkey is left); the event source stays.
    EXPECT_TRUE(setting("Unknown"));
    EXPECT_TRUE(store.getValue(kEventSourceKey, "TypesSupported"));
}

TEST_F(CommandsTest, RemoveDoesNothingWhileTwoProductsAreRegisteredForUninstall) {
    ASSERT_EQ(run("-install hostA "), 0);
    const std::string un =
        std::string(kHklm) + "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    store.createKey(un + "Tallwatch Professional Edition Client 5.01");
    store.createKey(un + "tallwatch system and network monitor client 4");
    EXPECT_EQ(run("-unregserver "), 0);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(setting("TWDISPLAY"));
    EXPECT_TRUE(sm.exists);
    store.deleteKey(un + "tallwatch system and network monitor client 4");
    EXPECT_EQ(run("-unregserver "), 0);
    EXPECT_FALSE(setting("TWDISPLAY"));
}

TEST_F(CommandsTest, WithoutSwitchCharacterNothingHappens) {
    ASSERT_EQ(run("-install hostA "), 0);
    EXPECT_EQ(run("remove "), 0);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(setting("TWDISPLAY"));
}

TEST_F(CommandsTest, UpgradeMovesAnOlderConfigurationAndConvertsAlwaysGreen) {
    sm.exists = true;
    auto old = [&](const std::string& n, const std::string& v) {
        store.setValue(oldKey(n), "", platform::RegValue::sz(v));
    };
    old("TWDISPLAY", "display1");
    old("Defaults", "CPU:70:90 DISK:80:90");
    old("CPUalwaysGreen", "Yes");
    old("DiskalwaysGreen", "N");
    old("Obsolete", "x");
    old("Procs", std::string(7999, 'p'));  // at its limit
    ASSERT_EQ(run("-upgrade "), 0);
    EXPECT_EQ(out, "Tallwatch Professional Edition Client upgraded\r\n");
    EXPECT_EQ(sm.def.displayName, "Tallwatch Professional Edition Client 5.01");
    EXPECT_EQ(*setting("TWDISPLAY"), "display1");
    EXPECT_EQ(*setting("Defaults"), "CPU:70:90 DISK:80:90 PAGEFILE:80:90");
    EXPECT_EQ(*setting("Tests"),
              "procs:P msgs:P cpu:G disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D");
    EXPECT_EQ(setting("Procs")->size(), 7999u);
    EXPECT_EQ(*setting("Timer"), "300");
    EXPECT_EQ(*setting("WMIPool"), defaultwmipool());
    EXPECT_FALSE(setting("CPUalwaysGreen"));
    EXPECT_FALSE(setting("Obsolete"));
    EXPECT_FALSE(store.keyExists(std::string(kHklm) + "SOFTWARE\\Tallwatch\\twnt"));
}

// An emptied Defaults used to stay empty, so the page-file thresholds fell
// back to the built-in ones; a text that cannot take the item is kept and
// said so.
TEST_F(CommandsTest, UpgradeCompletesDefaultsAndFillsAnEmptyOneFaultEmptyDefaultsStayedEmpty) {
    const std::string fits = "CPU:70:90 DISK:80:90 " + std::string(91, 'x');     // 112 characters
    const std::string tooLong = "CPU:70:90 DISK:80:90 " + std::string(92, 'x');  // 113
    const std::string note =
        "Defaults left as it is: appending \" PAGEFILE:80:90\" would pass its 127 "
        "characters\r\n";
    struct Case {
        std::string stored, upgraded, err;
    } cases[] = {
        {"", "CPU:80:95 DISK:90:95 PAGEFILE:80:90", ""},
        {"CPU:70:90", "CPU:70:90 PAGEFILE:80:90", ""},
        {fits, fits + " PAGEFILE:80:90", ""},
        {tooLong, tooLong, note},
        {"DISK:80:90 PAGEFILE:70:80", "DISK:80:90 PAGEFILE:70:80", ""},
    };
    ASSERT_EQ(run("-install hostA "), 0);
    for (const Case& c : cases) {
        store.setValue(std::string(kHklm) + kSettingsKey + "Defaults", "",
                       platform::RegValue::sz(c.stored));
        ASSERT_EQ(run("-upgrade "), 0) << c.stored;
        EXPECT_EQ(*setting("Defaults"), c.upgraded) << c.stored;
        EXPECT_EQ(err, c.err) << c.stored;
        EXPECT_EQ(out, "Tallwatch Professional Edition Client upgraded\r\n");
    }
}

TEST_F(CommandsTest, UpgradeWithoutServiceFails) {
    EXPECT_EQ(run("-upgrade "), 1);
    EXPECT_EQ(err, "Couldn't set new display name: TWNT not installed\r\n");
}

TEST_F(CommandsTest, UpgradeWithoutAnySettingsKeyFails) {
    sm.exists = true;
    EXPECT_EQ(run("-upgrade "), 1);
    EXPECT_EQ(err, "Couldn't access registry tree\r\n");
}

TEST_F(CommandsTest, StartAndStopFollowTheServiceState) {
    sm.exists = true;
    EXPECT_EQ(run("-start "), 0);
    EXPECT_EQ(out, "Tallwatch Professional Edition Client service started\r\n");
    EXPECT_EQ(sm.starts, 1);
    EXPECT_EQ(run("-start "), 0);  // already running: nothing is started
    EXPECT_EQ(sm.starts, 1);
    EXPECT_EQ(run("-stop "), 0);
    EXPECT_EQ(out, "Tallwatch Professional Edition Client service stopped\r\n");
    EXPECT_EQ(sm.stops, 1);
    EXPECT_EQ(fp.clock.sleeps().back(), 2);
    sm.queryOk = false;
    EXPECT_EQ(run("-stop "), 1);
    EXPECT_EQ(err, "Can't retrieve Tallwatch Professional Edition Client service status\r\n");
    EXPECT_EQ(fp.clock.sleeps().back(), 5);
    sm.exists = false;
    EXPECT_EQ(run("-start "), 1);
    EXPECT_EQ(err, "Can't Open Tallwatch Professional Edition Client service\r\n");
    sm.managerOk = false;
    EXPECT_EQ(run("-stop "), 1);
    EXPECT_EQ(err, "Can't retrieve Computer Name\r\n");
}

TEST(LastErrorText, FormatsMessageAndCodeAndGivesUpWhenItDoesNotFit) {
    EXPECT_EQ(lasterrortext("Access is denied.", 5), "Access is denied. (0x5)");
    EXPECT_EQ(lasterrortext("", 5), "");
    EXPECT_EQ(lasterrortext(std::string(242, 'x'), 5).size(), 248u);
    EXPECT_EQ(lasterrortext(std::string(243, 'x'), 5), "");
}

}  // namespace
}  // namespace tw
