#include "agent/core/config.h"

#include <gtest/gtest.h>

#include "base/settings.h"
#include "test/support/fake_platform.h"
#include "test/support/log_capture.h"

namespace tw {
namespace {

using testing::FakePlatform;
using testing::LogCapture;

struct Loaded {
    LoadResult result;
    Config cfg;
};

Loaded load(FakePlatform& fp) {
    Settings s(fp.p.settings);
    Loaded l;
    l.result = loadconfig(s, fp.p.host, l.cfg);
    return l;
}

TEST(Config, DestinationListsAreCleaned) {
    EXPECT_EQ(cleandestinations(";;a;;b;"), "a;b");
    EXPECT_EQ(cleandestinations("ho\tst1;;;;h2"), "host1;h2");
    EXPECT_EQ(cleandestinations(";;;"), "");
    EXPECT_EQ(cleandestinations("a b\xe9\r\n;c"), "a b;c");
}

TEST(Config, NoSettingsAtAllGivesTheNoDisplayOutcome) {
    FakePlatform fp;
    LogCapture log;
    auto l = load(fp);
    EXPECT_EQ(l.result.outcome, LoadOutcome::NoDisplay);
    EXPECT_EQ(log.text(), "TWDISPLAY is not set");
}

TEST(Config, UnresolvableHostGivesTheHostOutcomeWithTheName) {
    FakePlatform fp;
    fp.settings.setSetting("TWDISPLAY", "d");
    fp.host.entry.reset();
    auto l = load(fp);
    EXPECT_EQ(l.result.outcome, LoadOutcome::HostNotResolved);
    EXPECT_EQ(l.result.hostName, "web1");
}

TEST(Config, NumericAndYesNoNormalisation) {
    struct Case {
        const char* ipport;
        int want;
    } ports[] = {{"0", 1984},     {"-5", 1984}, {"abc", 1984},
                 {"2000x", 2000}, {"", 1984},   {"70000", 70000}};
    for (auto c : ports) {
        FakePlatform fp;
        fp.settings.setSetting("TWDISPLAY", "d");
        fp.settings.setSetting("IPport", c.ipport);
        auto l = load(fp);
        EXPECT_EQ(l.cfg.ipport, c.want) << c.ipport;
        if (c.want == 70000) {
            EXPECT_EQ(l.cfg.port(), 4464);
        }
    }
    FakePlatform fp;
    fp.settings.setSetting("TWDISPLAY", "d");
    fp.settings.setSetting("Timer", "0");
    fp.settings.setSetting("CPUupdays", "0");
    fp.settings.setSetting("CPUrebootmins", "-3");
    fp.settings.setSetting("FQDN", "yes");
    fp.settings.setSetting("SendPageAlerts", "1");
    fp.settings.setSetting("CPUrebootcolor", "red");
    fp.settings.setSetting("PageLevels", "red");
    fp.settings.setSetting("NetworkInterfaces", "  eth0 1MBPS:1:2:3:4");
    auto l = load(fp);
    EXPECT_EQ(l.cfg.networkInterfaces, "eth0 1MBPS:1:2:3:4");
    ASSERT_EQ(l.cfg.interfaceLimits.size(), 1u);
    EXPECT_EQ(l.cfg.interfaceLimits[0].name, "ETH0");
    EXPECT_EQ(l.cfg.timer, 300);
    EXPECT_EQ(l.cfg.cpuupdays, 999);
    EXPECT_EQ(l.cfg.cpurebootmins, 0);
    EXPECT_EQ(l.cfg.fqdn, "Y");
    EXPECT_EQ(l.cfg.sendPageAlerts, "N");
    EXPECT_EQ(l.cfg.cpurebootcolor, "Red");
    EXPECT_EQ(l.cfg.pagelevels, "red ");
    EXPECT_EQ(l.cfg.twpage, "d");  // TWPAGE empty: a copy of TWDISPLAY
    fp.settings.setSetting("FQDN", "1");
    fp.settings.setSetting("PageLevels", "");
    l = load(fp);
    EXPECT_EQ(l.cfg.fqdn, "N");
    EXPECT_EQ(l.cfg.pagelevels, "red purple ");
}

TEST(Config, HostIdentityFollowsFqdnAndAlias) {
    FakePlatform fp;
    fp.settings.setSetting("TWDISPLAY", "d");
    fp.settings.setSetting("FQDN", "Y");
    auto l = load(fp);
    EXPECT_EQ(l.cfg.host.compName, "web1,corp,lan");
    EXPECT_EQ(l.cfg.host.realcompName, "web1.corp.lan");
    EXPECT_EQ(l.cfg.host.machineIP, "10123");
    fp.settings.setSetting("FQDN", "N");
    l = load(fp);
    EXPECT_EQ(l.cfg.host.compName, "web1");
    fp.settings.setSetting("AliasName", "Front End #2");
    l = load(fp);
    EXPECT_EQ(l.cfg.host.compName, "FrontEnd2");
    fp.settings.setSetting("AliasName", "#!? *");  // nothing usable: the resolved name stays
    l = load(fp);
    EXPECT_EQ(l.cfg.host.compName, "web1");
    fp.settings.setSetting("AliasName", "alias.example.org");
    fp.settings.setSetting("FQDN", "Y");
    l = load(fp);
    EXPECT_EQ(l.cfg.host.compName, "alias,example,org");
}

TEST(Config, KeyCodeOverItsLimitReadsEmptyAndIsLoggedAsSuch) {
    FakePlatform fp;
    fp.settings.setSetting("TWDISPLAY", "d");
    fp.settings.setSetting("KeyCode", std::string(300, 'k'));
    LogCapture log;
    auto l = load(fp);
    EXPECT_EQ(l.cfg.keycode, "");
    // Stored but unusable: nothing may then go out in clear.
    EXPECT_TRUE(l.cfg.keycodeUnusable);
    EXPECT_NE(log.text().find(
                  "Key code = <> It is either unset or too many characters were specified\r\n"),
              std::string::npos);
    fp.settings.setSetting("KeyCode", "abc");
    LogCapture log2;
    l = load(fp);
    EXPECT_EQ(l.cfg.keycode, "abc");
    EXPECT_FALSE(l.cfg.keycodeUnusable);
    for (const char* unset : {"", "   "}) {
        fp.settings.setSetting("KeyCode", unset);
        EXPECT_FALSE(load(fp).cfg.keycodeUnusable) << "<" << unset << ">";
    }
    EXPECT_NE(log2.text().find("Key code = <****************> --- What do you expect !!!\r\n"),
              std::string::npos);
}

TEST(Config, LoadWritesItsLinesInLoadOrder) {
    FakePlatform fp;
    auto& s = fp.settings;
    s.setSetting("TWDISPLAY", ";;a;;b;");
    s.setSetting("IPport", "2000");
    s.setSetting("FQDN", "N");
    s.setSetting("Tests", "cpu:d disk:T");
    s.setSetting("Timer", "60");
    s.setSetting("DiskList", "c:90:95");
    s.setSetting("Defaults", "cpu:70:90");
    s.setSetting("MsgLevels", "sys:err:y:30");
    s.setSetting("ExternalPath", "/var/Spool/tw");
    LogCapture log;
    std::string launched;
    Settings settings(s);
    Config cfg;
    loadconfig(settings, fp.host, cfg, [&](const std::string& e) { launched = "called:" + e; });
    EXPECT_EQ(launched, "called:");
    EXPECT_EQ(cfg.testmode("cpu"), 'D');
    EXPECT_EQ(cfg.testmode("disk"), 'T');
    EXPECT_EQ(cfg.thresholds.cpuYellow, 70);
    EXPECT_EQ(cfg.externalpathAsWritten, "/var/Spool/tw");
    const std::string want =
        "TWDISPLAY = <a;b>\r\n"
        "TWPAGE    = <a;b>\r\n"
        "FQDN   = <N>\r\n"
        "IPport = <2000>\r\n"
        "Tests = <cpu:d disk:T>\r\n"
        "Networkinterfaces = <>\r\n"
        "WMITests = <>\r\n"
        "WMIPool = <>\r\n"
        "twcompName = <web1>\r\n"
        "RealcompName = <web1.corp.lan>\r\n"
        "Machine IP = <10123>\r\n"
        "aliasName = <>\r\n"
        "compName = <web1>\r\n"
        "cpurebootmins = <0>\r\n"
        "cpurebootcolor = <>\r\n"
        "cpuupdays = <999>\r\n"
        "cpuupdayscolor = <>\r\n"
        "SendPageAlerts = <N>\r\n"
        "Timer = <60>\r\n"
        "Key code = <> It is either unset or too many characters were specified\r\n"
        "Procs = <>\r\n"
        "DiskList = <c:90:95>\r\n"
        "Services = <>\r\n"
        "Externals = <>\r\n"
        "\r\nSet CPU/DISK defaults values with <cpu:70:90>\r\n"
        "Program default CPU values -  yellow: <80> red: <95>\r\n"
        "Program default DISK values -  yellow: <90> red: <95>\r\n"
        "Program default PAGEFILE values -  yellow: <85> red: <95>\r\n"
        "Setting CPU values -  yellow: <70> red: <90>\r\n"
        "Setting DISK values -  yellow: <90> red: <95>\r\n"
        "Setting PAGEFILE values -  yellow: <85> red: <95>\r\n"
        "\r\nDefaults = <CPU:70:90>\r\n"
        "\r\nmMemlevels = <>\r\n"
        "\r\nmPagelevels = <red purple >\r\n"
        "MsgLevels = <SYS:ERR:Y:30>\r\n"
        "IgnoreMsgs = <>\r\n"
        "External Path = </VAR/SPOOL/TW>\r\n";
    EXPECT_EQ(log.text(), want);
    // On disk every LF is preceded by one more CR (text mode).
    EXPECT_EQ(log.raw().substr(0, 27), "TWDISPLAY = <a;b>\r\r\nTWPAGE ");
}

}  // namespace
}  // namespace tw
