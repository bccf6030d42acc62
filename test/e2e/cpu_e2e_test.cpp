// The agent computes the processor load from two successive snapshots of a
// fixture and delivers the second cycle's cpu report to a real receiver.
#include <gtest/gtest.h>

#include "test/support/e2e.h"

namespace tw {
namespace {

// The process class is queried once at start-up (the instance check), then
// once per cycle: "$seq" gives start-up and the first cycle the first
// figures and every later cycle the second ones, 2 seconds (in 100-ns
// units) on.
const char* const kFixture = R"({
  "Win32_Processor": [{"NumberOfCores": 2, "NumberOfLogicalProcessors": 4}],
  "Win32_ComputerSystem": [{"Name": "E2EHOST", "TotalPhysicalMemory": "8589934592"}],
  "Win32_OperatingSystem": [{"LastBootUpTime": {"$ago": 7230}, "FreePhysicalMemory": "2097152",
      "TotalVirtualMemorySize": "4194304", "FreeVirtualMemory": "2097152",
      "SizeStoredInPagingFiles": "1048576", "FreeSpaceInPagingFiles": "524288"}],
  "Win32_PerfRawData_PerfProc_Process": [
    {"Name": "Idle", "IDProcess": 0, "PercentProcessorTime": "0",
     "Timestamp_Sys100NS": {"$seq": ["10000000", "10000000", "30000000"]}},
    {"Name": "worker.exe", "IDProcess": 100,
     "PercentProcessorTime": {"$seq": ["1000000", "1000000", "9000000"]},
     "Timestamp_Sys100NS": {"$seq": ["10000000", "10000000", "30000000"]}},
    {"Name": "db", "IDProcess": 200,
     "PercentProcessorTime": {"$seq": ["0", "0", "2000000"]},
     "Timestamp_Sys100NS": {"$seq": ["10000000", "10000000", "30000000"]}},
    {"Name": "_Total", "IDProcess": 0, "PercentProcessorTime": "0",
     "Timestamp_Sys100NS": {"$seq": ["10000000", "10000000", "30000000"]}}
  ]})";

TEST(CpuEndToEnd, SecondCycleReportsTheLoadOfTwoSnapshots) {
    testing::AgentRun run;
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.set("Timer", "1"));
    ASSERT_TRUE(run.set(
        "Tests",
        "procs:D msgs:D cpu:P disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D wmitest:D"));
    std::string why;
    ASSERT_TRUE(run.runUntil(
        kFixture, [&] { return !run.received().empty(); }, 15000, why))
        << why;

    // The first message is the second cycle's: the first cycle has no
    // previous snapshot and sends no cpu report. On 4 processors over 2 s:
    // worker 10 %, db 2.5 %, load 12.5 rounded to 13.
    const std::string first = run.received().front();
    EXPECT_EQ(first.rfind("status e2ehost.cpu green ", 0), 0u) << first;
    EXPECT_NE(first.find("] up: 2:00, 1 users, 2 procs, load=13%, PhysicalMem: 8GB(75%)\r\n\r\n"),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("\r\n\r\nMost active processes\r\n"
                         "10.00%\tworker (0x64 [100])\r\n"
                         "02.50%\tdb (0xc8 [200])\r\n"),
              std::string::npos)
        << first;
}

}  // namespace
}  // namespace tw
