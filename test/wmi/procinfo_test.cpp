#include "agent/wmi/procinfo.h"

#include <gtest/gtest.h>

#include "agent/wmi/wmi.h"
#include "base/twlog.h"
#include "wmi_test_support.h"

namespace tw {
namespace {

using tw::testing::FixturePlatform;

TEST(WmiProcInfo, RowsInQueryOrderWithNamesCutAtExe) {
    const std::string longName(120, 'p');
    FixturePlatform f(R"({"Win32_PerfRawData_PerfProc_Process": [
      {"Name": "Idle", "IDProcess": 0, "PercentProcessorTime": "123456789012345", "Timestamp_Sys100NS": "130000000000000000"},
      {"Name": "twnt.exe", "IDProcess": 4242, "PercentProcessorTime": "500", "Timestamp_Sys100NS": "130000000000000000"},
      {"Name": "a.exe.exe#1", "IDProcess": 9, "PercentProcessorTime": 500, "Timestamp_Sys100NS": null},
      {"Name": ")" + longName +
                      R"(", "IDProcess": "10"},
      {"Name": "_Total", "IDProcess": 0, "PercentProcessorTime": "1000", "Timestamp_Sys100NS": "1"}
    ]})");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    auto snap = wmiprocinfo(s);
    ASSERT_TRUE(snap);
    ASSERT_EQ(snap->size(), 5u);
    EXPECT_EQ((*snap)[0].name, "Idle");
    EXPECT_DOUBLE_EQ((*snap)[0].cputime, 123456789012345.0);
    EXPECT_EQ((*snap)[1].name, "twnt");
    EXPECT_EQ((*snap)[1].pid, 4242);
    EXPECT_DOUBLE_EQ((*snap)[1].timestamp, 1.3e17);
    EXPECT_EQ((*snap)[2].name, "a");
    EXPECT_EQ((*snap)[2].cputime, 0) << "not delivered as a string: zero";
    EXPECT_EQ((*snap)[2].timestamp, 0);
    EXPECT_EQ((*snap)[3].name, std::string(99, 'p'));
    EXPECT_EQ((*snap)[3].pid, 0);
    EXPECT_EQ((*snap)[4].name, "_Total");
}

TEST(WmiProcInfo, AtMost10239RowsAreFilled) {
    std::string json = R"({"Win32_PerfRawData_PerfProc_Process": [)";
    for (int i = 0; i < 10300; ++i)
        json += (i ? "," : "") + std::string(R"({"Name": "p", "IDProcess": )") + std::to_string(i) +
                "}";
    json += "]}";
    FixturePlatform f(json);
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    auto snap = wmiprocinfo(s);
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->size(), 10239u);
    EXPECT_EQ(snap->back().pid, 10238);
}

TEST(WmiNumCpu, LargerOfCoresAndLogicalPerRowOrOne) {
    tw::testing::TempDir dir;
    const std::string log = dir.file("TW.LOG");
    ASSERT_TRUE(DiagLog::instance().open(log));
    FixturePlatform f(R"({"Win32_Processor": [
      {"NumberOfCores": 2, "NumberOfLogicalProcessors": 4},
      {"NumberOfCores": 0, "NumberOfLogicalProcessors": 0},
      {"NumberOfCores": 8, "NumberOfLogicalProcessors": "16"},
      {}
    ]})");
    WmiSession s(f.p);
    ASSERT_TRUE(s.open());
    EXPECT_EQ(wminumcpu(s), 4 + 1 + 8 + 1);
    DiagLog::instance().close();
    EXPECT_EQ(tw::testing::readAll(log),
              "in wminumcpu\r\nCount number of CPUs\r\n"
              "find a processor\r\ncores = 2 logprocs = 4 number of numRecord = 1\r\n"
              "find a processor\r\ncores = 0 logprocs = 0 number of numRecord = 2\r\n"
              "find a processor\r\ncores = 8 logprocs = 0 number of numRecord = 3\r\n"
              "find a processor\r\ncores = 0 logprocs = 0 number of numRecord = 4\r\n"
              "CPUs=14 leave wminumcpu\r\n");
}

TEST(WmiNumCpu, NoRowsOrNoClassOrClosedSessionIsNoCount) {
    FixturePlatform f(R"({"Win32_Processor": []})");
    WmiSession s(f.p);
    EXPECT_FALSE(wminumcpu(s));
    ASSERT_TRUE(s.open());
    EXPECT_FALSE(wminumcpu(s));
    FixturePlatform g("{}");
    WmiSession t(g.p);
    ASSERT_TRUE(t.open());
    EXPECT_FALSE(wminumcpu(t));
}

}  // namespace
}  // namespace tw
