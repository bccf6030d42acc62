#include "agent/core/instances.h"

#include <gtest/gtest.h>

#include "agent/wmi/wmi.h"
#include "base/twlog.h"
#include "test/wmi/wmi_test_support.h"

namespace tw {
namespace {

std::string snapshot(const std::vector<std::string>& names) {
    std::string json =
        R"({"Win32_PerfRawData_PerfProc_Process": [{"Name": "Idle", "IDProcess": 0})";
    int pid = 100;
    for (const auto& n : names)
        json += R"(, {"Name": ")" + n + R"(", "IDProcess": )" + std::to_string(pid++) + "}";
    return json + R"(, {"Name": "_Total", "IDProcess": 0}]})";
}

bool running(const std::vector<std::string>& names, bool serviceMode) {
    tw::testing::FixturePlatform f(snapshot(names));
    WmiSession session(f.p);
    wmiinit(session);
    return istwntrunning(session, serviceMode);
}

TEST(IsTwntRunning, ServiceToleratesTwoAgentsAndAppOne) {
    EXPECT_FALSE(running({"bash", "twnt"}, true));
    EXPECT_FALSE(running({"twnt", "TWNT.EXE"}, true));
    EXPECT_TRUE(running({"twnt", "twnt", "Twnt.exe"}, true));
    EXPECT_FALSE(running({"twnt", "twntcfg", "xtwnt"}, false));
    EXPECT_TRUE(running({"twnt.exe", "twnt"}, false));
}

TEST(IsTwntRunning, NoSnapshotMeansNoOtherAgent) {
    tw::testing::FixturePlatform f("{}");
    WmiSession session(f.p);
    wmiinit(session);
    EXPECT_FALSE(istwntrunning(session, true));
    WmiSession closed(f.p);
    EXPECT_FALSE(istwntrunning(closed, true));
}

TEST(IsTwntRunning, LogsEachNameAndTheVerdict) {
    tw::testing::TempDir dir;
    ASSERT_TRUE(DiagLog::instance().open(dir.file("TW.LOG")));
    EXPECT_TRUE(running({"twnt", "sshd", "twnt"}, false));
    DiagLog::instance().close();
    const std::string text = tw::testing::readAll(dir.file("TW.LOG"));
    const std::string tail = text.substr(text.find("proc name:"));
    // The log writes every LF as CR LF, so "\r\n" lines end in "\r\r\n".
    EXPECT_EQ(tail,
              "proc name:Idle\r\r\nproc name:twnt\r\r\nproc name:sshd\r\r\nproc name:twnt\r\r\n"
              "proctwnt=2 res=1\r\r\n");
    EXPECT_EQ(text.rfind("In istwntrunning() 0\r\r\nin wmiprocinfo\r\n", 0), 0u);
}

}  // namespace
}  // namespace tw
