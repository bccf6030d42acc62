// The agent runs administrator-defined WMI tests against a fixture and
// delivers one status message per definition to a real receiver.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "agent/wmitests/definitions.h"
#include "platform/posix/file_settings_store.h"
#include "test/support/e2e.h"
#include "test/support/fake_platform.h"
#include "test/support/process.h"
#include "test/support/twrecv_process.h"

namespace tw {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::waitFor;

TEST(WmiTestsEndToEnd, PoolRowsOneAndSixArriveUnderTheirOwnNames) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("out"));
    testing::TwrecvProcess recv;
    ASSERT_TRUE(recv.start({"--out", dir.file("out"), "--bind", "127.0.0.1"}));

    std::string reg = dir.file("registry.reg");
    auto set = [&](const std::string& name, const std::string& text) {
        ASSERT_TRUE(testing::setAgentSetting(reg, name, text));
    };
    auto rows = splitdefinitions(defaultwmipool());
    ASSERT_EQ(rows.size(), 6u);
    set("TWDISPLAY", "127.0.0.1:" + std::to_string(recv.port()));
    set("Timer", "60");
    set("FQDN", "N");
    set("AliasName", "e2ehost");
    set("Tests",
        "procs:D msgs:D cpu:D disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D wmitest:P");
    set("WMITests", rows[0] + "|" + rows[5]);
    testing::writeFile(dir.file("fixture.json"),
                       R"({"Win32_ComputerSystem": [{"Name": "E2EHOST", "ChassisBootupState": 3,
                            "PowerSupplyState": 3, "NumberOfProcessors": 2}],
                           "Win32_PerfRawData_PerfProc_Process": []})");
    testing::Process agent(testing::binaryPath("twnt"), {"-app"},
                           testing::agentEnv(dir.path(), dir.file("fixture.json")), dir.path());
    ASSERT_TRUE(waitFor([&] { return testing::receivedFiles(dir.file("out")).size() >= 2; }, 15000))
        << agent.err() << readFile(dir.file("ev.log"));
    agent.signal(SIGTERM);
    EXPECT_EQ(agent.wait(5000), 0);

    std::vector<std::string> msgs;
    for (const auto& f : testing::receivedFiles(dir.file("out"))) msgs.push_back(readFile(f));
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
