#include "agent/core/drycycle.h"

#include <gtest/gtest.h>

#include "test/support/fake_platform.h"

namespace tw {
namespace {

// The svcs test would restart Themes; an external program and two work
// files wait. The run lists all of it and does none of it.
TEST(DryCycle, RestartProgramsAndWorkFilesAreListedNotDoneAndNothingIsSent) {
    testing::FakePlatform fp(R"({"Win32_Service": [
        {"Name": "Themes", "DisplayName": "Themes", "State": "Stopped"}]})");
    testing::FakeSockets& sockets = fp.sockets;
    testing::FakeDirectory& dir = fp.directory;
    testing::TempDir temp;
    fp.system.env["TEMP"] = temp.path();
    for (auto [name, text] : std::vector<std::pair<const char*, std::string>>{
             {"TWDISPLAY", "disp;[::1]:1986"},
             {"SendPageAlerts", "Y"},
             {"Activatelog", "Y"},
             {"Tests", "svcs:P procs:D msgs:D cpu:D disk:D netprotl:D mem:D pagefile:D"},
             {"Services", "Themes:R:R:Y"},
             {"Externals", "/opt/check.sh -q /int=60; /missing/prog"},
             {"ExternalPath", dir.root()}})
        fp.settings.setSetting(name, text);
    dir.setKind("/opt/check.sh", platform::PathKind::Regular);
    dir.add("diskcheck", ":red disk full\n");
    dir.add("-persist", "green fine");

    const DryRun run = drycycle(fp.p);
    ASSERT_TRUE(run.loaded) << run.failure;
    EXPECT_EQ(drystatus(run), 2);
    // The report, then its page (TWPAGE is a copy of TWDISPLAY).
    ASSERT_EQ(run.messages.size(), 2u);
    EXPECT_EQ(run.messages[0].kind, "status");
    EXPECT_EQ(run.messages[1].text.rfind("page   web1.svcs red ", 0), 0u);
    for (const DryMessage& m : run.messages) {
        EXPECT_EQ(m.destinations, (std::vector<std::string>{"disp:1984", "[::1]:1986"}));
        EXPECT_NE(m.text.find("&red Themes - Stopped - Restart attempted\r\n"), std::string::npos);
        EXPECT_EQ(m.notes, std::vector<std::string>{"would restart the service Themes (not done)"});
    }

    // No service method, lookup, socket, program, deletion, log or entry.
    EXPECT_TRUE(fp.wmi.calls.empty());
    EXPECT_TRUE(sockets.resolves.empty());
    EXPECT_EQ(sockets.opened, 0);
    EXPECT_EQ(fp.launcher.startCount(), 0u);
    EXPECT_TRUE(dir.removed.empty());
    EXPECT_TRUE(testing::readFile(temp.file("TW.LOG")).empty());
    EXPECT_TRUE(fp.events.events.empty());

    ASSERT_EQ(run.externals.size(), 2u);
    ASSERT_TRUE(run.externals[0].program);
    EXPECT_EQ(run.externals[0].program->program + "|" + run.externals[0].program->args + "|" +
                  std::to_string(run.externals[0].program->interval),
              "/opt/check.sh|-q|60");
    EXPECT_FALSE(run.externals[1].program);
    ASSERT_EQ(run.workfiles.size(), 2u);
    EXPECT_EQ(run.workfiles[0].path, dir.path("diskcheck"));
    EXPECT_EQ(run.workfiles[0].messages, 1);
    EXPECT_TRUE(run.workfiles[0].deleted);
    EXPECT_FALSE(run.workfiles[1].deleted);  // "-persist" stays
}

}  // namespace
}  // namespace tw
