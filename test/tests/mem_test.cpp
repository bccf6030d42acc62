#include "agent/tests/mem.h"

#include <gtest/gtest.h>

#include "agent/core/builtins.h"
#include "agent/core/config.h"
#include "agent/wmi/wmi.h"
#include "test/support/fake_sockets.h"
#include "test/support/report_recorder.h"
#include "test/wmi/wmi_test_support.h"

namespace tw {
namespace {

using testing::FixturePlatform;
using testing::LogCapture;
using testing::ReportRecorder;

Config config(const std::string& tests, const std::string& memlevels = "") {
    Config c;
    c.modes.parse(tests);
    c.memlevels = memlevels;
    c.host.compName = "web1";
    c.host.realcompName = "web1.corp.lan";
    return c;
}

// 16 GB physical with 4 GB free, 8 GB commit limit with 6 GB free.
MemoryInfo sixteen() {
    MemoryInfo m;
    m.physTotal = 16777216;
    m.physFree = 4194304;
    m.commitTotal = 8388608;
    m.commitFree = 6291456;
    m.virtualTotal = 134217728;
    m.virtualFree = 134000000;
    return m;
}

const std::string kStats =
    "\r\n\r\nMemory Statistics (Used/Available/Total in bytes)\r\n"
    "Physical Memory:  12884901888 (12.00GB) /   4294967296 (4.00GB) /  17179869184 (16.00GB)\r\n"
    "Commit Charge:     2147483648 (2.00GB) /   6442450944 (6.00GB) /   8589934592 (8.00GB)\r\n"
    "Virtual memory:     223346688 (213.00MB) / 137216000000 (127.79GB) / 137438953472 "
    "(128.00GB)\r\n";

std::string summary(const std::string& physMarker, const std::string& commitMarker) {
    return " Tue Dec 08 03:20:31 UTC 2026 [web1.corp.lan]  Physical: 75.00%  Commit: "
           "25.00%\r\n\r\n" +
           physMarker + " Physical Memory: 12.00GB/16.00GB (75.00%)\r\n" + commitMarker +
           " Commit Charge: 2.00GB/8.00GB (25.00%)\r\n";
}

std::string run(const Config& cfg, const MemoryInfo* m, ReportRecorder& r) {
    testing::ManualClock clock{testing::kFixedNow};
    testing::FakePlatform none;
    WmiSession session(none.p);
    const MemSettings s = memsettings(cfg);
    const Delivery d = r.delivery();
    memtest({s, session, clock, d}, m);
    return r.sent().empty() ? std::string() : r.sent().back();
}

TEST(MemReport, SixteenGigabytesWithAQuarterFreeInModeP) {
    ReportRecorder r;
    MemoryInfo m = sixteen();
    EXPECT_EQ(run(config("mem:P"), &m, r), "status web1.mem green" + summary("", "") + kStats);
    EXPECT_EQ(r.order(), (std::vector<std::string>{"page", "send"}));
    EXPECT_EQ(r.paged(), r.sent());
}

TEST(MemReport, ModeTAppendsTheDocumentToTheSentTextButNotToThePage) {
    ReportRecorder r;
    MemoryInfo m = sixteen();
    const std::string plain = "status web1.mem yellow" + summary("&yellow", "&yellow") + kStats;
    EXPECT_EQ(run(config("mem:T", "PHYS:75:80 COMMIT:20:30"), &m, r),
              plain +
                  "\n<xml>\n<?xml version=\"1.0\" ?>\n<twperfdata>\n<form> 5.01 </form>\n"
                  "<comm>\n<hname>\nweb1</hname>\n<loc>\n</loc>\n<sname>\nmem</sname>\n"
                  "<logcol>\nyellow</logcol>\n</comm>\n"
                  "<inst>\n<iname>phymem</iname>\n<icol>\nyellow</icol>\n"
                  "<obj>\n<iobj>\nused</iobj>\n<val>\n12884901888</val>\n</obj>\n"
                  "<obj>\n<iobj>\nusage%</iobj>\n<val>\n75.00</val>\n</obj>\n</inst>\n"
                  "<inst>\n<iname>commit</iname>\n<icol>\nyellow</icol>\n"
                  "<obj>\n<iobj>\nused</iobj>\n<val>\n2147483648</val>\n</obj>\n"
                  "<obj>\n<iobj>\nusage%</iobj>\n<val>\n25.00</val>\n</obj>\n</inst>\n"
                  "<inst>\n<iname>virtual</iname>\n<icol>\nyellow</icol>\n"
                  "<obj>\n<iobj>\nused</iobj>\n<val>\n223346688</val>\n</obj>\n"
                  "<obj>\n<iobj>\nusage%</iobj>\n<val>\n 0.16</val>\n</obj>\n</inst>\n"
                  "</twperfdata>\n</xml>");
    ASSERT_EQ(r.paged().size(), 1u);
    EXPECT_EQ(r.paged()[0], plain);
}

TEST(MemReport, ModeGIsGreenWithGreenMarkersWhateverTheShares) {
    ReportRecorder r;
    MemoryInfo m = sixteen();
    EXPECT_EQ(run(config("mem:G", "PHYS:10:20 COMMIT:10:20"), &m, r),
              "status web1.mem green" + summary("&green", "&green") + kStats);
}

TEST(MemReport, PanicOnPhysicalAloneIsRedWithTheCommitLineUnmarked) {
    ReportRecorder r;
    MemoryInfo m = sixteen();
    EXPECT_EQ(run(config("mem:P", "PHYS:70:75 COMMIT:80:90"), &m, r),
              "status web1.mem red" + summary("&red", "") + kStats);
    // An unknown letter evaluates like P.
    EXPECT_EQ(run(config("mem:X", "COMMIT:25:26"), &m, r),
              "status web1.mem yellow" + summary("", "&yellow") + kStats);
}

TEST(MemReport, ShareExactlyAtTheWarnLevelIsYellow) {
    ReportRecorder r;
    MemoryInfo m;
    m.physTotal = 1000000;
    m.physFree = 50000;  // 95.00 % used, the default warn level
    m.commitTotal = m.commitFree = m.virtualTotal = m.virtualFree = 1024;
    std::string text = run(config(""), &m, r);
    EXPECT_EQ(text.rfind("status web1.mem yellow Tue Dec 08 03:20:31 UTC 2026 [web1.corp.lan]  "
                         "Physical: 95.00%  Commit: 0.00%\r\n\r\n"
                         "&yellow Physical Memory: 928.00MB/977.00MB (95.00%)\r\n"
                         " Commit Charge: 0.00MB/2.00MB (0.00%)\r\n",
                         0),
              0u)
        << text;
}

TEST(MemReport, ZeroTotalsGiveZeroSharesStayGreenAndPrintNoNan) {
    ReportRecorder r;
    MemoryInfo m;  // everything 0
    std::string text = run(config("mem:P", "PHYS:0:0 COMMIT:0:0"), &m, r);
    EXPECT_EQ(
        text,
        "status web1.mem green Tue Dec 08 03:20:31 UTC 2026 [web1.corp.lan]  Physical: 0.00%  "
        "Commit: 0.00%\r\n\r\n"
        " Physical Memory: 0.00MB/1.00MB (0.00%)\r\n"
        " Commit Charge: 0.00MB/1.00MB (0.00%)\r\n"
        "\r\n\r\nMemory Statistics (Used/Available/Total in bytes)\r\n"
        "Physical Memory:            0 (0.00MB) /            0 (1.00MB) /            0 (1.00MB)\r\n"
        "Commit Charge:              0 (0.00MB) /            0 (1.00MB) /            0 (1.00MB)\r\n"
        "Virtual memory:             0 (0.00MB) /            0 (1.00MB) /            0 "
        "(1.00MB)\r\n");
}

TEST(MemReport, DisabledAndMissingRecordSendNothingAndLogWhy) {
    ReportRecorder r;
    MemoryInfo m = sixteen();
    {
        LogCapture log;
        run(config("mem:d"), &m, r);
        EXPECT_EQ(log.text(), "mem test disabled.\r\n");
    }
    LogCapture log;
    run(config("mem:P", "PHYS:90:99"), nullptr, r);
    EXPECT_TRUE(r.order().empty());
    EXPECT_EQ(log.text(),
              "\r\nEntering memory service\r\n"
              "Physical Memory thresholds -  Warn:90  Panic:99\r\n"
              "Total Memory thresholds -  Warn:80  Panic:90\r\n"
              "Failed to get memory info\r\n"
              "Leaving mem service\r\n");
}

TEST(MemLevelsParse, DefaultsBorrowedColonsAndMalformedFigures) {
    auto same = [](MemLevels l, int pw, int pp, int cw, int cp) {
        return l.physWarn == pw && l.physPanic == pp && l.commitWarn == cw && l.commitPanic == cp;
    };
    EXPECT_TRUE(same(parsememlevels(""), 95, 98, 80, 90));
    EXPECT_TRUE(same(parsememlevels("PHYS:90:97 COMMIT:70:85"), 90, 97, 70, 85));
    // No panic figure of its own: the next colon is the COMMIT item's.
    EXPECT_TRUE(same(parsememlevels("PHYS:90 COMMIT:70:85"), 90, 70, 70, 85));
    EXPECT_TRUE(same(parsememlevels("COMMIT:0:0"), 95, 98, 0, 0));
    EXPECT_TRUE(same(parsememlevels("phys:1:2 commit:3:4"), 95, 98, 80, 90))
        << "words are upper-case";
    EXPECT_TRUE(same(parsememlevels("PHYS:-5:-1"), 95, 98, 80, 90)) << "negative figures";
    EXPECT_TRUE(same(parsememlevels("PHYS:"), 95, 98, 80, 90));
    EXPECT_TRUE(same(parsememlevels("PHYS::97"), 95, 97, 80, 90));
    // A non-number is a missing figure, not a level of 0 that would turn
    // every report yellow.
    EXPECT_TRUE(same(parsememlevels("PHYS:abc:x COMMIT:75"), 95, 98, 75, 90));
}

const char* const kOs =
    R"("Win32_OperatingSystem": [{"LastBootUpTime": "20121005120000.000000+000",
        "TotalVisibleMemorySize": "16777216", "TotalVirtualMemorySize": "134217728",
        "SizeStoredInPagingFiles": "2097152", "FreePhysicalMemory": "4194304",
        "FreeVirtualMemory": "134000000", "FreeSpaceInPagingFiles": "1048576"}])";

TEST(MemoryInfoFetch, OperatingSystemFiguresWithTheCommitChargeFromTheCounters) {
    tw::testing::TempDir dir;
    ASSERT_TRUE(DiagLog::instance().open(dir.file("TW.LOG")));
    FixturePlatform f(std::string("{") + kOs + R"(,
        "Win32_ComputerSystem": [{"Name": "WEB1", "TotalPhysicalMemory": "17179869184"}],
        "Win32_PerfFormattedData_PerfOS_Memory": [{"CommittedBytes": "2147483648",
                                                   "CommitLimit": "8589934592"}]})");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    auto m = wmimemoryinfo(s);
    DiagLog::instance().close();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->boottime, 1349438400);
    EXPECT_EQ(m->physTotal, 16777216);
    EXPECT_EQ(m->physFree, 4194304);
    EXPECT_EQ(m->visibleTotal, 16777216);
    EXPECT_EQ(m->commitTotal, 8388608);
    EXPECT_EQ(m->commitFree, 6291456);
    EXPECT_EQ(m->virtualTotal, 134217728);
    EXPECT_EQ(m->virtualFree, 134000000);
    EXPECT_TRUE(f.clock.sleptMs().empty());
    EXPECT_EQ(
        tw::testing::readAll(dir.file("TW.LOG")),
        "in wmimemoryinfo\r\nmemory info obtained\r\nin wmitotalphymem\r\nleave wmitotalphymem\r\n"
        "in wmicommitinfo\r\ncommit info obtained\r\nleave wmicommitinfo\r\n"
        "capacity: 16777216.000000 Free phy mem: 4194304.000000\r\nleave wmimemoryinfo\r\n");
}

TEST(MemoryInfoFetch, CommitFiguresFallBackToPagingFilesOrLoseTheirLimit) {
    {
        FixturePlatform f(std::string("{") + kOs + R"(,
            "Win32_ComputerSystem": [{"TotalPhysicalMemory": "17179869184"}]})");
        WmiSession s(f.p);
        ASSERT_TRUE(s.open());
        auto m = wmimemoryinfo(s);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->commitTotal, 2097152) << "commit query failed: paging-file figures stay";
        EXPECT_EQ(m->commitFree, 1048576);
    }
    FixturePlatform f(std::string("{") + kOs + R"(,
        "Win32_ComputerSystem": [{"TotalPhysicalMemory": "17179869184"}],
        "Win32_PerfFormattedData_PerfOS_Memory": [{"CommittedBytes": "2147483648", "CommitLimit": null}]})");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    auto m = wmimemoryinfo(s);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->commitTotal, 0);
    EXPECT_EQ(m->commitFree, 2097152);
}

TEST(MemoryInfoFetch, PhysicalTotalIsRetriedFiveTimesThreeSecondsApart) {
    FixturePlatform f(std::string("{") + kOs + R"(,
        "Win32_ComputerSystem": [{"TotalPhysicalMemory": {"$seq": ["0", "0", "17179869184"]}}]})");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    auto m = wmimemoryinfo(s);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->physTotal, 16777216);
    EXPECT_EQ(f.clock.sleptMs(), (std::vector<int64_t>{3000, 3000}));

    FixturePlatform never(std::string("{") + kOs + R"(,
        "Win32_ComputerSystem": [{"TotalPhysicalMemory": "0"}],
        "Win32_Process": [{"Name": "a", "WorkingSetSize": "1048576"}]})");
    WmiSession s2(never.p);
    ASSERT_TRUE(s2.open());
    m = wmimemoryinfo(s2);
    ASSERT_TRUE(m);
    EXPECT_EQ(never.clock.sleptMs(), std::vector<int64_t>(5, 3000));
    EXPECT_EQ(m->physTotal, 0);
    EXPECT_EQ(m->physFree, 0) << "free above a total of 0, and total - working sets below 0";
}

TEST(MemoryInfoFetch, FreeMemoryOutsideTheTotalIsReplacedByTotalLessWorkingSets) {
    auto fixture = [](const std::string& free, const std::string& processes) {
        return R"({"Win32_OperatingSystem": [{"FreePhysicalMemory": ")" + free + R"("}],
                   "Win32_ComputerSystem": [{"TotalPhysicalMemory": "17179869184"}],
                   "Win32_Process": )" +
               processes + "}";
    };
    const std::string procs =
        R"([{"Name": "a", "WorkingSetSize": "1073741824"}, {"Name": "b", "WorkingSetSize": "2147483648"}])";
    FixturePlatform high(fixture("99999999999", procs));
    WmiSession s(high.p);
    ASSERT_TRUE(s.open());
    EXPECT_EQ(wmimemoryinfo(s)->physFree, 16777216.0 - 3145728);

    FixturePlatform negative(fixture("-1", procs));
    WmiSession s2(negative.p);
    ASSERT_TRUE(s2.open());
    EXPECT_EQ(wmimemoryinfo(s2)->physFree, 16777216.0 - 3145728);

    FixturePlatform huge(
        fixture("99999999999", R"([{"Name": "a", "WorkingSetSize": "99999999999999"}])"));
    WmiSession s3(huge.p);
    ASSERT_TRUE(s3.open());
    EXPECT_DOUBLE_EQ(wmimemoryinfo(s3)->physFree, 16777216.0 * 0.99);
}

TEST(MemoryInfoFetch, NoRecordWithoutTheSystemQueryAZeroRecordWithoutItsRow) {
    FixturePlatform none(R"({"Win32_ComputerSystem": [{"TotalPhysicalMemory": "17179869184"}]})");
    WmiSession s(none.p);
    ASSERT_TRUE(s.open());
    EXPECT_FALSE(wmimemoryinfo(s));
    EXPECT_TRUE(none.clock.sleptMs().empty());

    FixturePlatform empty(R"({"Win32_OperatingSystem": [],
        "Win32_ComputerSystem": [{"TotalPhysicalMemory": "17179869184"}],
        "Win32_PerfFormattedData_PerfOS_Memory": [{"CommittedBytes": "1024", "CommitLimit": "4096"}]})");
    WmiSession s2(empty.p);
    ASSERT_TRUE(s2.open());
    auto m = wmimemoryinfo(s2);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->boottime, 0);
    EXPECT_EQ(m->physFree, 0);
    EXPECT_EQ(m->physTotal, 16777216);
    EXPECT_EQ(m->commitTotal, 4);
    EXPECT_EQ(m->commitFree, 3);

    WmiSession closed(empty.p);
    EXPECT_FALSE(wmimemoryinfo(closed));
}

}  // namespace
}  // namespace tw
