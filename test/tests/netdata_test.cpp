#include "agent/tests/netdata.h"

#include <gtest/gtest.h>

#include "test/support/builtin_tests.h"
#include "test/support/log_capture.h"

namespace tw {
namespace {

using testing::BuiltinHarness;
using testing::kStamp;

std::string nic(const std::string& name, const std::string& bandwidth, const std::string& in0,
                const std::string& in1, const std::string& out0, const std::string& out1) {
    return R"({"Name": ")" + name + R"(", "CurrentBandwidth": )" + bandwidth +
           R"(, "BytesReceivedPerSec": {"$seq": [")" + in0 + R"(", ")" + in1 +
           R"("]}, "BytesSentPerSec": {"$seq": [")" + out0 + R"(", ")" + out1 + R"("]}})";
}

// The example interface: 90 MB in over 10 s on 100 Mbit/s; eth1 at 85 % in
// and 60 % out of 1 Mbit/s; eth2's counter went back; eth3 without a
// bandwidth; lo not configured.
const std::string kNics = R"({"Win32_PerfRawData_Tcpip_NetworkInterface": [)" +
                          nic("Intel[R] PRO_1000 MT Network Connection", "100000000", "1000000000",
                              "1090000000", "500000000", "500000000") +
                          "," + nic("eth1", "\"1000000\"", "0", "1062500", "0", "750000") + "," +
                          nic("eth2", "1000000", "900", "100", "0", "0") + "," +
                          nic("eth3", "0", "0", "5000", "0", "7000") + "," +
                          nic("lo", "0", "0", "1", "0", "1") + "]}";

const std::string kLimits =
    "Intel[R] PRO_1000 MT Network Connection 100MBPS:50:80:50:80;eth1 1MBPS:50:80:50:80;"
    "eth2 1MBPS:50:80:50:80;eth3 1MBPS:50:80:50:80";

const std::string kHead =
    "\r\nName                     Bandwidth(Mbps)       In(Bytes/second)          "
    "Out(Bytes/second)\r\n";
const std::string kRows =
    "Intel[R] PRO_1000 MT     100                   9000000(72%)                      0(0%)\n"
    "eth1                       1                    106250(85%)                  75000(60%)\n"
    "eth3                       0                       500(0%)                    700(0%)\n";

// Two runs 10 s apart.
void twice(BuiltinHarness& h) {
    h.cfg.interfaceLimits = parseinterfaces(kLimits);
    netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);
    EXPECT_TRUE(h.calls.empty()) << "the first run only keeps the counters";
    h.clock.advance(10);
    netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);
}

TEST(NetdataReport, SharesOfTheReportedBandwidthAndTheirLines) {
    BuiltinHarness h(kNics);
    testing::LogCapture log;
    twice(h);
    EXPECT_EQ(h.report(),
              std::string("status web1.netdata red ") +
                  "Tue Nov 14 22:13:30 UTC 2023 [web1.corp.lan]\r\n\r\n"
                  "&yellow Intel[R] PRO_1000 MT:in (bytes/second) (72%) has reached the WARNING "
                  "level (50%)\r\n"
                  "&red eth1                :in (bytes/second) (85%) has reached the PANIC level "
                  "(80%)\r\n" +
                  kHead + kRows);
    ASSERT_EQ(h.calls.size(), 2u);
    EXPECT_EQ(h.calls[0], "page:" + h.report()) << "paged first, then sent";
    const std::string text = log.text();
    EXPECT_NE(text.find("First time, wait for next cycle...\r\n"), std::string::npos);
    EXPECT_NE(text.find("WMI data reset, update next cycle\r\n"), std::string::npos);
    EXPECT_NE(text.find("Leaving network interface service\r\n"), std::string::npos);
}

TEST(NetdataReport, AlwaysGreenAndTrend) {
    BuiltinHarness g(kNics, "netdata:G");
    twice(g);
    EXPECT_EQ(g.report(), std::string("status web1.netdata green ") +
                              "Tue Nov 14 22:13:30 UTC 2023 [web1.corp.lan]\r\n\r\n" + kHead +
                              kRows);

    BuiltinHarness t(kNics, "netdata:T");
    twice(t);
    ASSERT_EQ(t.calls.size(), 2u);
    std::string withDoc = t.calls[0].substr(5);
    ASSERT_TRUE(perfnetdata(withDoc));
    EXPECT_EQ(t.calls[1], "send:" + withDoc);
    EXPECT_NE(withDoc.find("<icol>\nred</icol>\n<obj>\n<iobj>\neth1"), std::string::npos);
}

TEST(NetdataReport, NoIntervalAndAFailedFetchStartOver) {
    BuiltinHarness h(kNics);
    h.cfg.interfaceLimits = parseinterfaces(kLimits);
    testing::LogCapture log;
    netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);
    netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);  // the same second: no rate
    EXPECT_EQ(h.report(), std::string("status web1.netdata green ") + kStamp +
                              " [web1.corp.lan]\r\n\r\n" + kHead);
    EXPECT_NE(log.text().find("No time between the samples of eth1"), std::string::npos);

    // A failed fetch in a reporting run: a report with an empty table, then
    // a first-time run again.
    testing::writeFile(h.fp.fixturePath(), R"({"Other": []})");
    h.calls.clear();
    h.clock.advance(10);
    netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);
    EXPECT_EQ(h.calls.size(), 2u);
    EXPECT_EQ(h.report().substr(h.report().size() - kHead.size()), kHead);
    testing::writeFile(h.fp.fixturePath(), kNics);
    h.calls.clear();
    h.clock.advance(10);
    netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);
    EXPECT_TRUE(h.calls.empty());

    h.cfg.modes.parse("netdata:D");
    netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);
    h.cfg.modes.parse("");
    h.cfg.interfaceLimits.clear();
    netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);
    EXPECT_TRUE(h.calls.empty());
    const std::string text = log.text();
    EXPECT_NE(text.find("\r\nEntering network interface service\r\nnetwork interface test "
                        "disabled.\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("network interface not defined.\r\n"), std::string::npos);
}

// A cycle in mode D or without configured interfaces used to drop the kept
// counters, so the next enabled cycle only stored them and one report was
// lost: P, pause, P, P gives two reports.
TEST(NetdataReport, PauseKeepsTheCountersFaultOneReportLost) {
    for (const bool disabled : {true, false}) {
        BuiltinHarness h(kNics);
        const auto limits = parseinterfaces(kLimits);
        for (int cycle = 0; cycle < 4; ++cycle) {
            const bool paused = cycle == 1;
            h.cfg.modes.parse(paused && disabled ? "netdata:D" : "");
            h.cfg.interfaceLimits = paused && !disabled ? std::vector<InterfaceLimit>{} : limits;
            netdatatest(h.context(netdatasettings(h.cfg)), h.netdata);
            h.clock.advance(10);
        }
        int reports = 0;
        for (const std::string& c : h.calls) reports += c.rfind("send:", 0) == 0;
        EXPECT_EQ(reports, 2) << (disabled ? "mode D" : "no interface");
    }
}

TEST(NetworkInterfaces, AcceptedEntries) {
    auto v = parseinterfaces(
        "Intel[R] PRO_1000 MT Network Connection 100MBPS:50:80:50:80; eth0   10mbps:1:2.5:3:4 ;;");
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].name, "INTEL[R] PRO_1000 MT NETWORK CONNECTION");
    EXPECT_EQ(v[0].bandwidth, 100000000);
    EXPECT_EQ(v[0].inYellow, 50);
    EXPECT_EQ(v[0].outRed, 80);
    EXPECT_EQ(v[1].name, "ETH0");
    EXPECT_EQ(v[1].bandwidth, 10000000);
    EXPECT_EQ(v[1].inRed, 2.5);
    EXPECT_EQ(v[1].outYellow, 3);
    EXPECT_TRUE(parseinterfaces("").empty());
}

TEST(NetworkInterfaces, WrongEntriesAreLoggedAndSkipped) {
    testing::LogCapture log;
    for (const char* bad :
         {"eth0 100MBPS:80:50:50:80", "eth0 100MBPS:50:80:80:80", "eth0 100:50:80:50:80",
          "eth0 100MBPS:50:80:50", "100MBPS:1:2:3:4", "eth0 100MBPS:-1:2:3:4",
          "eth0 100MBPS:1:2:3:4:5", "eth0100MBPS:1:2:3:4", "eth0 MBPS:1:2:3:4",
          "eth0 1.2.3MBPS:1:2:3:4", "eth0 100MBPS:1:2:3:x"}) {
        EXPECT_TRUE(parseinterfaces(bad).empty()) << bad;
        EXPECT_NE(log.text().find(std::string("network interface definition is wrong: <") + bad +
                                  ">\r\n"),
                  std::string::npos)
            << bad;
    }
    EXPECT_EQ(parseinterfaces("bad;eth0 1MBPS:1:2:3:4").size(), 1u) << "parsing goes on";
    EXPECT_TRUE(parseinterfaces(std::string(2047, 'M')).empty());
    EXPECT_TRUE(parseinterfaces(std::string(2047, ':')).empty());
    EXPECT_EQ(parseinterfaces(std::string(2000, 'n') + " 1MBPS:1:2:3:4")[0].name.size(), 1023u);
}

TEST(NetworkInterfaces, FiftyAtMostAndTheLoader) {
    std::string text;
    for (int i = 0; i < 60; ++i) text += "eth" + std::to_string(i) + " 1MBPS:1:2:3:4;";
    testing::LogCapture log;
    auto v = parseinterfaces(text);
    ASSERT_EQ(v.size(), kMaxInterfaceLimits);
    EXPECT_EQ(v.back().name, "ETH49");
    EXPECT_NE(log.text().find("too many network interfaces, definition ignored: <eth50 "),
              std::string::npos);
}

}  // namespace
}  // namespace tw
