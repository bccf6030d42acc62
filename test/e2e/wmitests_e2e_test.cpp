// The agent runs administrator-defined WMI tests against a fixture and
// delivers one status message per definition to a real receiver.

#include <gtest/gtest.h>

#include <algorithm>

#include "agent/wmitests/definitions.h"
#include "test/support/e2e.h"

namespace tw {
namespace {

TEST(WmiTestsEndToEnd, PoolRowsOneAndSixArriveUnderTheirOwnNames) {
    auto rows = splitdefinitions(defaultwmipool());
    ASSERT_EQ(rows.size(), 6u);
    testing::AgentRun run;
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.set("Timer", "60"));
    ASSERT_TRUE(run.set(
        "Tests",
        "procs:D msgs:D cpu:D disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D wmitest:P"));
    ASSERT_TRUE(run.set("WMITests", rows[0] + "|" + rows[5]));
    std::string why;
    ASSERT_TRUE(
        run.runUntil(R"({"Win32_ComputerSystem": [{"Name": "E2EHOST", "ChassisBootupState": 3,
                                  "PowerSupplyState": 3, "NumberOfProcessors": 2}],
                                 "Win32_PerfRawData_PerfProc_Process": []})",
                     [&] { return run.received().size() >= 2; }, 15000, why))
        << why;

    std::vector<std::string> msgs = run.received();
    std::sort(msgs.begin(), msgs.end());
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0].rfind("status e2ehost.ChassisBootupState green ", 0), 0u) << msgs[0];
    EXPECT_NE(msgs[0].find("Query: select ChassisBootupState from Win32_ComputerSystem\r\n"
                           "ChassisBootupState: 3"),
              std::string::npos);
    EXPECT_EQ(msgs[1].rfind("status e2ehost.NumberOfProcessors red ", 0), 0u) << msgs[1];
    EXPECT_NE(msgs[1].find("&red NumberOfProcessors has reached the PANIC level ( 0 )\r\n\r\n"
                           "Query: select NumberOfProcessors from Win32_ComputerSystem\r\n"
                           "NumberOfProcessors: 2"),
              std::string::npos)
        << msgs[1];
}

}  // namespace
}  // namespace tw
