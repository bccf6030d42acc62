#include "agent/perfdata/perfdata.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

// The header every document of a given host, test and colour starts with.
std::string header(const std::string& host, const std::string& test, const std::string& colour) {
    return "\n<xml>\n"
           "<?xml version=\"1.0\" ?>\n"
           "<twperfdata>\n"
           "<form> 5.01 </form>\n"
           "<comm>\n"
           "<hname>\n" +
           host +
           "</hname>\n"
           "<loc>\n"
           "</loc>\n"
           "<sname>\n" +
           test +
           "</sname>\n"
           "<logcol>\n" +
           colour +
           "</logcol>\n"
           "</comm>\n";
}

const char* const kTrailer = "</twperfdata>\n</xml>";

TEST(PerfCpu, LoadFromTheReportWithDottedHostFromCommas) {
    const std::string report =
        "status web,example,com.cpu yellow Tue Dec 08 03:20:31 UTC 2026 [web.example.com] up: 3 "
        "days, 1 users, 40 procs, load=37%, PhysicalMem: 8GB(50%)\r\n\r\n";
    std::string msg = report;
    ASSERT_TRUE(perfcpu(msg));
    EXPECT_EQ(msg, report +
                       "\n<xml>\n"
                       "<?xml version=\"1.0\" ?>\n"
                       "<twperfdata>\n"
                       "<form> 5.01 </form>\n"
                       "<comm>\n"
                       "<hname>\nweb.example.com</hname>\n"
                       "<loc>\n</loc>\n"
                       "<sname>\ncpu</sname>\n"
                       "<logcol>\nyellow</logcol>\n"
                       "</comm>\n"
                       "<inst>\n"
                       "<iname> cpu </iname>\n"
                       "<icol>\nyellow</icol>\n"
                       "<obj>\n<iobj>\nload%</iobj>\n<val>\n37</val>\n</obj>\n"
                       "</inst>\n"
                       "</twperfdata>\n"
                       "</xml>");
}

TEST(PerfCpu, MissingLoadOrPercentGivesEmptyValueInACompleteDocument) {
    const std::string inst =
        "<inst>\n<iname> cpu </iname>\n<icol>\ngreen</icol>\n"
        "<obj>\n<iobj>\nload%</iobj>\n<val>\n</val>\n</obj>\n</inst>\n";
    for (std::string report : {"status h.cpu green no figures\r\n", "status h.cpu green load=12"}) {
        std::string msg = report;
        ASSERT_TRUE(perfcpu(msg));
        EXPECT_EQ(msg, report + header("h", "cpu", "green") + inst + kTrailer) << report;
    }
}

TEST(PerfDisk, DriveColoursFromAlarmLinesAndCapacityWithoutPercent) {
    const std::string report =
        "status host.disk red Tue Dec 08 03:20:31 UTC 2026 [HOST]\r\n"
        "\r\n"
        "&red /FIXED/C/ ( 91%) has reached the PANIC level ( 90%)\r\n"
        "&yellow E drive not found\r\n"
        "\r\n"
        "Filesystem   1K-blocks     Used    Avail Capacity  Mounted\r\n"
        "C             104857600 95420416  9437184    91%    /FIXED/C (System)\r\n"
        "D              52428800 10485760 41943040    20%    /FIXED/D (Data disk)\r\n";
    std::string msg = report;
    ASSERT_TRUE(perfdisk(msg));
    EXPECT_EQ(msg, report + header("host", "disk", "red") +
                       "<inst>\n<iname> C </iname>\n<icol>\nred</icol>\n"
                       "<obj>\n<iobj>\n%used</iobj>\n<val>\n91</val>\n</obj>\n</inst>\n"
                       "<inst>\n<iname> D </iname>\n<icol>\ngreen</icol>\n"
                       "<obj>\n<iobj>\n%used</iobj>\n<val>\n20</val>\n</obj>\n</inst>\n" +
                       kTrailer);
}

TEST(PerfDisk, NoHeadingGivesNoInstances) {
    const std::string report =
        "status host.disk red Tue Dec 08 03:20:31 UTC 2026 [HOST]\r\n\r\n&red /FIXED/C/ ...\r\n";
    std::string msg = report;
    ASSERT_TRUE(perfdisk(msg));
    EXPECT_EQ(msg, report + header("host", "disk", "red") + kTrailer);
}

TEST(PerfDisk, AlarmBeyondTheFiftiethStillColoursItsDrive) {
    // 60 drives in alarm: each must get its own colour, not "green" once the
    // alarm lines outnumber a fixed table.
    std::string report = "status host.disk red Tue Dec 08 03:20:31 UTC 2026 [HOST]\r\n\r\n";
    for (int i = 0; i < 60; ++i)
        report += "&yellow /FIXED/" + std::to_string(i) + "/ ( 91%) has reached the WARNING\r\n";
    report += "\r\nFilesystem   1K-blocks     Used    Avail Capacity  Mounted\r\n";
    report += "59             100 91 9    91%    /FIXED/59 (Last)\r\n";
    std::string msg = report;
    ASSERT_TRUE(perfdisk(msg));
    EXPECT_NE(msg.find("<iname> 59 </iname>\n<icol>\nyellow</icol>\n"), std::string::npos);
}

// The mem report of a host with 16 GB physical (4 GB free), 8 GB commit
// (6 GB free) and 128 GB virtual memory.
const char* const kMemReport =
    "status host.mem yellow Tue Dec 08 03:20:31 UTC 2026 [HOST]  Physical: 75.00%  Commit: "
    "25.00%\r\n"
    "\r\n"
    "&yellow Physical Memory: 12.00GB/16.00GB (75.00%)\r\n"
    " Commit Charge: 2.00GB/8.00GB (25.00%)\r\n"
    "\r\n"
    "\r\n"
    "Memory Statistics (Used/Available/Total in bytes)\r\n"
    "Physical Memory:  12884901888 (12.00GB) /   4294967296 (4.00GB) /  17179869184 (16.00GB)\r\n"
    "Commit Charge:     2147483648 (2.00GB) /   6442450944 (6.00GB) /   8589934592 (8.00GB)\r\n"
    "Virtual memory:     134217728 (128.00MB) / 137304735744 (127.88GB) / 137438953472 "
    "(128.00GB)\r\n";

TEST(PerfMem, ThreeGroupsFromTheStatisticsTable) {
    std::string msg = kMemReport;
    ASSERT_TRUE(perfmem(msg));
    EXPECT_EQ(msg, std::string(kMemReport) + header("host", "mem", "yellow") +
                       "<inst>\n<iname>phymem</iname>\n<icol>\nyellow</icol>\n"
                       "<obj>\n<iobj>\nused</iobj>\n<val>\n12884901888</val>\n</obj>\n"
                       "<obj>\n<iobj>\nusage%</iobj>\n<val>\n75.00</val>\n</obj>\n</inst>\n"
                       "<inst>\n<iname>commit</iname>\n<icol>\nyellow</icol>\n"
                       "<obj>\n<iobj>\nused</iobj>\n<val>\n2147483648</val>\n</obj>\n"
                       "<obj>\n<iobj>\nusage%</iobj>\n<val>\n25.00</val>\n</obj>\n</inst>\n"
                       "<inst>\n<iname>virtual</iname>\n<icol>\nyellow</icol>\n"
                       "<obj>\n<iobj>\nused</iobj>\n<val>\n134217728</val>\n</obj>\n"
                       "<obj>\n<iobj>\nusage%</iobj>\n<val>\n 0.10</val>\n</obj>\n</inst>\n" +
                       kTrailer);
}

TEST(PerfMem, UsedOf1000AndTotalOf4000GivesTwentyFivePercent) {
    const std::string report =
        "status h.mem green x\r\n\r\nMemory Statistics (Used/Available/Total in bytes)\r\n"
        "Physical Memory:         1000 (0.00MB) /         3000 (0.00MB) /         4000 "
        "(0.00MB)\r\n";
    std::string msg = report;
    ASSERT_TRUE(perfmem(msg));
    EXPECT_EQ(msg, report + header("h", "mem", "green") +
                       "<inst>\n<iname>phymem</iname>\n<icol>\ngreen</icol>\n"
                       "<obj>\n<iobj>\nused</iobj>\n<val>\n1000</val>\n</obj>\n"
                       "<obj>\n<iobj>\nusage%</iobj>\n<val>\n25.00</val>\n</obj>\n</inst>\n"
                       "<inst>\n<iname>commit</iname>\n<icol>\ngreen</icol>\n"
                       "<obj>\n<iobj>\nused</iobj>\n<val>\n</val>\n</obj>\n"
                       "<obj>\n<iobj>\nusage%</iobj>\n<val>\n</val>\n</obj>\n</inst>\n"
                       "<inst>\n<iname>virtual</iname>\n<icol>\ngreen</icol>\n"
                       "<obj>\n<iobj>\nused</iobj>\n<val>\n</val>\n</obj>\n"
                       "<obj>\n<iobj>\nusage%</iobj>\n<val>\n</val>\n</obj>\n</inst>\n" +
                       kTrailer);
}

TEST(PerfMem, WithoutStatisticsNoInstancesAndZeroTotalGivesNoInfOrNan) {
    std::string plain = "status h.mem green no table\r\n";
    std::string msg = plain;
    ASSERT_TRUE(perfmem(msg));
    EXPECT_EQ(msg, plain + header("h", "mem", "green") + kTrailer);

    msg =
        "status h.mem green x\r\n\r\nMemory Statistics\r\n"
        "Physical Memory:            0 (1.00MB) /            0 (1.00MB) /            0 "
        "(1.00MB)\r\n";
    ASSERT_TRUE(perfmem(msg));
    EXPECT_NE(msg.find("<iobj>\nused</iobj>\n<val>\n0</val>"), std::string::npos);
    EXPECT_NE(msg.find("<iobj>\nusage%</iobj>\n<val>\n</val>"), std::string::npos);
    EXPECT_EQ(msg.find("nan"), std::string::npos);
    EXPECT_EQ(msg.find("inf"), std::string::npos);
}

TEST(PerfNetdata, InAndOutInstancesPerRowColouredByDirection) {
    const std::string report =
        "status host.netdata red Tue Dec 08 03:20:31 UTC 2026 [HOST]\r\n"
        "\r\n"
        "&red eth0                :in (bytes/second) (85%) has reached the PANIC level (80%)\r\n"
        "&yellow Wireless Network Con:out (bytes/second) (60%) has reached the WARNING level "
        "(50%)\r\n"
        "\r\n"
        "Name                     Bandwidth(Mbps)       In(Bytes/second)          "
        "Out(Bytes/second)\r\n"
        "eth0                     100                  10625000(85%)                7500000(60%)\n"
        "Wireless Network Con      54                    100000(1%)                 4050000(60%)\n";
    std::string msg = report;
    ASSERT_TRUE(perfnetdata(msg));
    EXPECT_EQ(msg, report + header("host", "netdata", "red") +
                       "<inst>\n<iname>inbytes-per-second</iname>\n<icol>\nred</icol>\n"
                       "<obj>\n<iobj>\neth0++++++++++++++++</iobj>\n<val>\n10625000</val>\n"
                       "</obj>\n</inst>\n"
                       "<inst>\n<iname>outbytes-per-second</iname>\n<icol>\ngreen</icol>\n"
                       "<obj>\n<iobj>\neth0++++++++++++++++</iobj>\n<val>\n7500000</val>\n"
                       "</obj>\n</inst>\n"
                       "<inst>\n<iname>inbytes-per-second</iname>\n<icol>\ngreen</icol>\n"
                       "<obj>\n<iobj>\nWireless+Network+Con</iobj>\n<val>\n100000</val>\n"
                       "</obj>\n</inst>\n"
                       "<inst>\n<iname>outbytes-per-second</iname>\n<icol>\nyellow</icol>\n"
                       "<obj>\n<iobj>\nWireless+Network+Con</iobj>\n<val>\n4050000</val>\n"
                       "</obj>\n</inst>\n" +
                       kTrailer);
}

TEST(PerfNetdata, EmptyTableAndShortRowsDoNotReadPastTheLine) {
    const std::string report =
        "status host.netdata green d [H]\r\n\r\n\r\nName                     Bandwidth(Mbps)\r\n";
    std::string msg = report;
    ASSERT_TRUE(perfnetdata(msg));
    EXPECT_EQ(msg, report + header("host", "netdata", "green") + kTrailer);

    msg = report + "lo\n";
    ASSERT_TRUE(perfnetdata(msg));
    EXPECT_NE(msg.find("<iobj>\nlo</iobj>\n<val>\n</val>"), std::string::npos);
}

const char* const kWmiReport =
    "status host.NumberOfProcessors red Tue Dec 08 03:20:31 UTC 2026 [HOST]\r\n"
    "\r\n"
    "&red NumberOfProcessors has reached the PANIC level ( 0 )\r\n"
    "\r\n"
    "Query: select NumberOfProcessors from Win32_ComputerSystem\r\n"
    "NumberOfProcessors: 4";

TEST(PerfWmitest, DefaultPageFormatGivesTheResult) {
    std::string msg = kWmiReport;
    ASSERT_TRUE(perfwmitest(msg));
    EXPECT_EQ(msg, std::string(kWmiReport) + header("host", "NumberOfProcessors", "red") +
                       "<inst>\n<iname>\nNumberOfProcessors</iname>\n<icol>\nred</icol>\n"
                       "<obj>\n<iobj>\nNumberOfProcessors</iobj>\n<val>\n4</val>\n</obj>\n"
                       "</inst>\n" +
                       kTrailer);
}

TEST(PerfWmitest, ValueIsOnlyOrSecondWordAndEmptyWithoutQueryLine) {
    auto valueOf = [](const std::string& report) {
        std::string msg = report;
        EXPECT_TRUE(perfwmitest(msg));
        size_t at = msg.find("<val>\n");
        size_t end = msg.find("</val>", at);
        return msg.substr(at + 6, end - at - 6);
    };
    EXPECT_EQ(valueOf("status h.Bat green d [H]\r\n\r\nQUERY: SELECT status FROM x\r\nOK\r\n"),
              "OK");
    EXPECT_EQ(valueOf("status h.Bat green d [H]\r\n\r\nBatteries: OK\r\n"), "");
    EXPECT_EQ(valueOf("status h.Bat green d [H]\r\n\r\nselect status from x\r\nOK\r\n"), "");
    // The first line is never the query line.
    EXPECT_EQ(valueOf("status h.query green select from [H]\r\nstatus: 1\r\n"), "");
}

TEST(PerfWmitest, QueryOnTheLastLineDoesNotTakeTheDocumentTagAsValue) {
    std::string msg = "status h.T green d [H]\r\n\r\nQuery: select a from b";
    ASSERT_TRUE(perfwmitest(msg));
    EXPECT_NE(msg.find("<iobj>\nT</iobj>\n<val>\n</val>"), std::string::npos);
}

TEST(PerfWmitest, LineLongerThanTheLineBufferIsReadInPieces) {
    std::string value(6000, 'a');
    std::string msg = "status h.T green d [H]\r\nQuery: select a from b\r\nv: " + value + "\r\n";
    ASSERT_TRUE(perfwmitest(msg));
    // The value line is its first 5119 characters: "v: " and 5116 letters.
    EXPECT_NE(msg.find("<val>\n" + std::string(5116, 'a') + "</val>"), std::string::npos);
}

// The reading of a report ends where the document begins. It used to end at
// any line holding the letters "xml", so a volume, an interface or a WMI
// test of such a name lost its instance and every one after it.
TEST(PerfDocument, NamesHoldingXmlKeepTheirInstancesFaultStoppedAtAnyXml) {
    const std::string head =
        "\r\nName                     Bandwidth(Mbps)       In(Bytes/second)          "
        "Out(Bytes/second)\r\n";
    const std::string xmlnet = "xmlnet" + std::string(14, ' ');
    const struct {
        bool (*builder)(std::string&, std::size_t);
        std::string report;
        std::vector<std::string> parts;
    } cases[] = {
        {perfdisk,
         "status host.disk green d [HOST]\r\n\r\n\r\n"
         "Filesystem   1K-blocks     Used    Avail Capacity  Mounted\r\n"
         "E                  100       50       50    50%    /FIXED/E (xmlstore)\r\n"
         "F                  100       20       80    20%    /FIXED/F (Data)\r\n",
         {"<iname> E </iname>\n<icol>\ngreen</icol>\n<obj>\n<iobj>\n%used</iobj>\n<val>\n50</val>",
          "<iname> F "
          "</iname>\n<icol>\ngreen</icol>\n<obj>\n<iobj>\n%used</iobj>\n<val>\n20</val>"}},
        {perfnetdata,
         "status host.netdata red d [HOST]\r\n\r\n&red " + xmlnet +
             ":in (bytes/second) (85%) has reached the PANIC level (80%)\r\n" + head + xmlnet +
             "       1                    106250(85%)                  75000(60%)\n"
             "eth0                       1                       500(0%)                    "
             "700(0%)\n",
         {"<icol>\nred</icol>\n<obj>\n<iobj>\nxmlnet++++++++++++++</iobj>\n<val>\n106250</val>",
          "<icol>\ngreen</icol>\n<obj>\n<iobj>\neth0++++++++++++++++</iobj>\n<val>\n700</val>"}},
        {perfwmitest,
         "status host.xmlsvc green d [HOST]\r\n\r\n"
         "Query: select State from Win32_Service where Name='xmlsvc'\r\nState: Running",
         {"<iobj>\nxmlsvc</iobj>\n<val>\nRunning</val>"}},
    };
    for (const auto& c : cases) {
        std::string msg = c.report;
        ASSERT_TRUE(c.builder(msg, 51200));
        EXPECT_EQ(msg.substr(0, c.report.size()), c.report);
        for (const std::string& part : c.parts) EXPECT_NE(msg.find(part), std::string::npos) << msg;
    }
}

TEST(PerfHeader, FieldsAndOddFirstLines) {
    PerfHeader h = perfheaderfields("status a,b,c.disk yellow Tue");
    EXPECT_EQ(h.host, "a.b.c");
    EXPECT_EQ(h.test, "disk");
    EXPECT_EQ(h.colour, "yellow");
    h = perfheaderfields("status nodot red");
    EXPECT_EQ(h.host, "nodot");
    EXPECT_EQ(h.test, "");
    EXPECT_EQ(h.colour, "red");
    h = perfheaderfields("status");
    EXPECT_EQ(h.host + h.test + h.colour, "");

    std::string msg = "";
    perfheader(msg);
    perftrailer(msg);
    EXPECT_EQ(msg, header("", "", "") + kTrailer);
}

TEST(PerfDocument, NeverAppendedInPartAtTheMessageLimit) {
    const std::string report = "status h.cpu green x load=5%\r\n";
    std::string full = report;
    ASSERT_TRUE(perfcpu(full));
    const size_t needed = full.size();

    std::string msg = report;
    EXPECT_TRUE(perfcpu(msg, needed));
    EXPECT_EQ(msg, full);

    msg = report;
    EXPECT_FALSE(perfcpu(msg, needed - 1));
    EXPECT_EQ(msg, report);

    // Already over the limit: nothing is appended, nothing underflows.
    msg = report;
    EXPECT_FALSE(perfdisk(msg, 5));
    EXPECT_EQ(msg, report);

    // The default limit is the 51200-byte message buffer.
    msg = report + std::string(kStatusMessageMax - report.size() - 100, 'x');
    EXPECT_FALSE(perfcpu(msg));
    EXPECT_EQ(msg.size(), kStatusMessageMax - 100);
}

TEST(PerfDocument, GenericInstancesFromPlainStructs) {
    std::string msg = "status h.x green";
    PerfInstance i{"<iname>\nq</iname>\n", "red", {{"a", "1"}, {"b", ""}}};
    ASSERT_TRUE(appendperfdocument(msg, {i}));
    EXPECT_EQ(msg, "status h.x green" + header("h", "x", "green") +
                       "<inst>\n<iname>\nq</iname>\n<icol>\nred</icol>\n"
                       "<obj>\n<iobj>\na</iobj>\n<val>\n1</val>\n</obj>\n"
                       "<obj>\n<iobj>\nb</iobj>\n<val>\n</val>\n</obj>\n</inst>\n" +
                       kTrailer);
}

}  // namespace
}  // namespace tw
