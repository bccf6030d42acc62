#include "agent/tests/netprotl.h"

#include <gtest/gtest.h>

#include "test/support/builtin_tests.h"
#include "test/support/log_capture.h"

namespace tw {
namespace {

using testing::BuiltinHarness;
using testing::kStamp;

const std::string kTcp = R"({"Name": "Tcpip", "Status": "OK", "ConnectionlessService": false,
    "GuaranteesDelivery": true, "SupportsBroadcasting": false, "SupportsEncryption": false})";
const std::string kUdp = R"({"Name": "MSAFD Tcpip [UDP/IP]", "Status": "Degraded",
    "ConnectionlessService": true, "GuaranteesDelivery": false, "SupportsBroadcasting": true,
    "SupportsEncryption": false})";
const std::string kBad = R"({"Name": "X", "Status": "Pred Fail"})";

const std::string kTcpRow =
    "          Tcpip                                   \t       false\t                true\t"
    "            OK\t          false\t                    false\n";
const std::string kUdpRow =
    "          MSAFD Tcpip [UDP/IP]                    \t        true\t               false\t"
    "      Degraded\t           true\t                    false\n";
const std::string kBadRow =
    "          X                                       \t            \t                    \t"
    "     Pred Fail\t               \t                         \n";
const std::string kHead =
    "\r\n                              Name                     ConnectionlessService    "
    "GuaranteesDelivery       Status   SupportsBroadcasting     SupportsEncryption\r\n";

std::string fixture(std::initializer_list<std::string> rows) {
    std::string s = R"({"Win32_NetworkProtocol": [)";
    bool first = true;
    for (const std::string& r : rows) s += (first ? "" : ",") + r, first = false;
    return s + "]}";
}

std::string run(BuiltinHarness& h) {
    netprotltest(h.context(netprotlsettings(h.cfg)));
    return h.report();
}

std::string report(const char* colour, const std::string& rows) {
    return std::string("status web1.netprotl ") + colour + " " + kStamp +
           " [web1.corp.lan]\r\n\r\n" + kHead + rows;
}

TEST(NetprotlReport, StatusColoursAndTheTable) {
    BuiltinHarness ok(fixture({kTcp}));
    EXPECT_EQ(run(ok), report("green", kTcpRow));
    ASSERT_EQ(ok.calls.size(), 2u);
    EXPECT_EQ(ok.calls[1], "page:" + ok.report()) << "sent, then paged";

    BuiltinHarness both(fixture({kTcp, kUdp, kBad}));
    EXPECT_EQ(run(both), report("red", kTcpRow + kUdpRow + kBadRow));
    BuiltinHarness reverse(fixture({kBad, kUdp}));
    EXPECT_EQ(run(reverse), report("red", kBadRow + kUdpRow)) << "Degraded never lowers red";
    BuiltinHarness other(fixture({R"({"Name": "Y", "Status": "Error"})"}));
    EXPECT_EQ(run(other).rfind("status web1.netprotl green ", 0), 0u);
}

TEST(NetprotlReport, AlwaysGreenStillColoursAndBothNamesDisable) {
    BuiltinHarness g(fixture({kUdp}), "netprotl:G");
    EXPECT_EQ(run(g), report("yellow", kUdpRow));
    for (const char* tests : {"netprol:D", "netprotl:d", "netprotl:P netprol:d"}) {
        BuiltinHarness h(fixture({kTcp}), tests);
        testing::LogCapture log;
        run(h);
        EXPECT_TRUE(h.calls.empty()) << tests;
        EXPECT_EQ(log.text(), "netprotl test disabled.\r\n");
    }
    BuiltinHarness none(R"({})");
    run(none);
    EXPECT_TRUE(none.calls.empty());
}

}  // namespace
}  // namespace tw
