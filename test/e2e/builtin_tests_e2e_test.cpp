// The agent runs the disk, msgs, svcs, pagefile, netprotl and netdata tests
// against a fixture and delivers their reports to a real receiver; a
// service in the wrong state is restarted and found running a cycle later.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "test/support/e2e.h"

namespace tw {
namespace {

const char* const kFixture = R"({
  "Win32_LogicalDisk": [
    {"Name": "C:", "DriveType": 3, "Size": "107374182400", "FreeSpace": "53687091200",
     "VolumeName": "System"},
    {"Name": "E:", "DriveType": 3, "Size": "214748364800", "FreeSpace": "4294967296",
     "VolumeName": "Data"}],
  "Win32_NTLogEvent": [
    {"LogFile": "System", "EventType": 1, "TimeGenerated": {"$ago": 120},
     "TimeWritten": {"$ago": 120}, "SourceName": "Disk", "EventIdentifier": 11,
     "Message": "The device has a bad block."}],
  "Win32_Service": [
    {"Name": "Themes", "DisplayName": "Themes", "State": "Stopped"},
    {"Name": "Spooler", "DisplayName": "Print Spooler", "State": "Running"}],
  "Win32_PageFileUsage": [
    {"Name": "C:\\pagefile.sys", "AllocatedBaseSize": 1024, "CurrentUsage": 100,
     "PeakUsage": 200}],
  "Win32_NetworkProtocol": [
    {"Name": "Tcpip", "Status": "OK", "ConnectionlessService": false,
     "GuaranteesDelivery": true, "SupportsBroadcasting": false, "SupportsEncryption": false}],
  "Win32_PerfRawData_Tcpip_NetworkInterface": [
    {"Name": "eth0", "CurrentBandwidth": 100000000,
     "BytesReceivedPerSec": {"$seq": ["1000", "2000", "3000", "4000", "5000"]},
     "BytesSentPerSec": {"$seq": ["10", "20", "30", "40", "50"]}}]
})";

TEST(BuiltinTestsEndToEnd, SixReportsArriveAndARestartedServiceRuns) {
    testing::AgentRun run;
    ASSERT_TRUE(run.start());
    for (const auto& [name, text] : std::map<std::string, std::string>{
             {"Timer", "1"},
             {"Tests",
              "procs:D msgs:P cpu:D disk:P netprotl:P mem:D pagefile:P svcs:P netdata:P wmitest:D"},
             {"DiskList", "c:80:90 e:10G:5G:Y"},
             {"MsgLevels", "SYS:ERR:Y:30"},
             {"Services", "Themes:R:R:Y;printspooler"},
             {"NetworkInterfaces", "eth0 100MBPS:50:80:50:80"}})
        ASSERT_TRUE(run.set(name, text)) << name;

    // Reports by test word, in arrival order.
    auto reports = [&] {
        std::map<std::string, std::vector<std::string>> by;
        for (const std::string& text : run.received()) {
            const std::string head = "status e2ehost.";
            if (text.rfind(head, 0) != 0) continue;
            by[text.substr(head.size(), text.find(' ', head.size()) - head.size())].push_back(text);
        }
        return by;
    };
    std::string why;
    ASSERT_TRUE(run.runUntil(
        kFixture,
        [&] {
            auto r = reports();
            return r["svcs"].size() >= 2 && !r["netdata"].empty();
        },
        20000, why))
        << why;

    auto r = reports();
    for (const char* word : {"disk", "msgs", "svcs", "pagefile", "netprotl", "netdata"})
        EXPECT_FALSE(r[word].empty()) << word;
    ASSERT_GE(r["svcs"].size(), 2u);
    EXPECT_NE(r["svcs"][0].find(" red "), std::string::npos);
    EXPECT_NE(r["svcs"][0].find("  Services Not OK\r\n\r\n"
                                "&red Themes - Stopped - Restart attempted\r\n"
                                "&green Print Spooler - Running\r\n"),
              std::string::npos)
        << r["svcs"][0];
    EXPECT_NE(r["svcs"][1].find("  Services OK\r\n\r\n&green Themes - Running\r\n"),
              std::string::npos)
        << r["svcs"][1];

    EXPECT_EQ(r["disk"][0].rfind("status e2ehost.disk red ", 0), 0u);
    EXPECT_NE(r["disk"][0].find("]\r\n\r\n"
                                "&red /FIXED/E/ (4.000G) is below the PANIC level (5G)\r\n"),
              std::string::npos)
        << r["disk"][0];
    EXPECT_NE(r["msgs"][0].find("Sys: E '"), std::string::npos);
    EXPECT_NE(r["msgs"][0].find("': Disk 11 - \" The device has a bad block.\"\r\n"),
              std::string::npos);
    EXPECT_EQ(r["msgs"][0].rfind("status e2ehost.msgs red ", 0), 0u);
    EXPECT_NE(r["pagefile"][0].find("C:\\pagefile.sys         1024            100            200"),
              std::string::npos);
    EXPECT_NE(r["netprotl"][0].find("          Tcpip "), std::string::npos);
    EXPECT_EQ(r["netdata"][0].rfind("status e2ehost.netdata green ", 0), 0u);
    EXPECT_NE(r["netdata"][0].find("\neth0                     100"), std::string::npos)
        << r["netdata"][0];
}

}  // namespace
}  // namespace tw
