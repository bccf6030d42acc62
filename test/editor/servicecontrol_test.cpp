#include "editor/servicecontrol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::DialogHarness;
using ::testing::ElementsAre;
using testing::ShownMessage;

const char* kWithoutAgent = R"({
  "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
  "Win32_Service": [{"Name": "Spooler", "DisplayName": "Print Spooler", "Started": true}]
})";

const char* kAgentThatWillNotStop = R"({
  "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
  "Win32_Service": [{"Name": "TallwatchClient", "Started": true, "$fail": ["StopService"],
                     "DisplayName": "Tallwatch Professional Edition Client 5.01"}]
})";

struct ActionCase {
    const char* action;
    const char* service;
    std::map<std::string, int> returnValues;
    bool ok;
    const char* method;  // the method that ran, nullptr: none
};

void PrintTo(const ActionCase& c, std::ostream* os) {
    *os << c.action << " " << c.service;
}

class ServiceControlAction : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ServiceControlAction, RunsTheServiceMethodOnTheCurrentConnection) {
    const auto& c = GetParam();
    DialogHarness h(false);
    h.dlg.wmi().start();
    h.dlg.wmi().ConnectWMIDB(kRootCimv2);
    h.provider.returnValues = c.returnValues;
    EXPECT_EQ(ServiceControl(h.dlg.wmi(), c.action, c.service), c.ok);
    int calls = 0;
    for (const auto& [m, n] : h.provider.calls) calls += n;
    EXPECT_EQ(calls, c.method ? 1 : 0);
    if (c.method) {
        EXPECT_EQ(h.provider.calls[c.method], 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceControlAction,
    ::testing::Values(
        ActionCase{"Start", "TallwatchClient", {}, true, "StartService"},
        ActionCase{"stop", "TallwatchClient", {}, true, "StopService"},
        ActionCase{"CREATE", "TallwatchClient", {}, false, nullptr},
        ActionCase{"Pause", "TallwatchClient", {}, false, nullptr},
        ActionCase{"START", "NoSuchService", {}, false, nullptr},
        ActionCase{"STOP", "TallwatchClient", {{"StopService", 5}}, false, "StopService"},
        ActionCase{"START", "TallwatchClient", {{"StartService", 10}}, true, "StartService"},
        ActionCase{"START", "TallwatchClient", {{"StartService", 2}}, false, "StartService"}));

TEST(ServiceButton, FollowsTheAgentsStateAndItsOwnClicks) {
    DialogHarness h;
    h.start();
    EXPECT_TRUE(h.dlg.ServiceState());
    EXPECT_EQ(h.dlg.text(ctl::kService), "Stop Service");
    EXPECT_TRUE(h.dlg.click("Stop Service"));
    EXPECT_EQ(h.dlg.text(ctl::kService), "Start Service");
    EXPECT_EQ(h.provider.calls["StopService"], 1);
    EXPECT_EQ(h.provider.calls["StartService"], 0);
    h.dlg.click(ctl::kService);
    EXPECT_EQ(h.dlg.text(ctl::kService), "Stop Service");
    EXPECT_EQ(h.provider.calls["StopService"], 2) << "a start is a restart";
    EXPECT_EQ(h.provider.calls["StartService"], 1);
    EXPECT_TRUE(h.ui.messages.empty());
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave));
}

TEST(ServiceButton, WithoutTheAgentsServiceAStartIsRefused) {
    DialogHarness h(true, kWithoutAgent);
    h.start();
    EXPECT_EQ(h.dlg.text(ctl::kService), "Start Service");
    h.dlg.click(ctl::kService);
    EXPECT_THAT(h.ui.messages, ElementsAre(ShownMessage{"Can not start the twnt service",
                                                        "twntcfg Error", MessageKind::Error}));
    EXPECT_EQ(h.dlg.text(ctl::kService), "Start Service");
}

TEST(ServiceButton, AStopThatFailsIsNotReportedAndTheCaptionChangesAnyway) {
    DialogHarness h(true, kAgentThatWillNotStop);
    h.start();
    ASSERT_EQ(h.dlg.text(ctl::kService), "Stop Service");
    h.dlg.click(ctl::kService);
    EXPECT_EQ(h.dlg.text(ctl::kService), "Start Service");
    EXPECT_TRUE(h.ui.messages.empty());
}

TEST(ServiceButton, WhileNotConnectedTheCaptionStaysAndAStartFails) {
    DialogHarness h;
    h.provider.refuse.insert("ROOT\\CIMV2");
    h.start();
    EXPECT_EQ(h.dlg.text(ctl::kService), "Start Service");
    h.ui.clear();
    h.dlg.click(ctl::kService);
    EXPECT_THAT(h.ui.texts(), ElementsAre("Can not start the twnt service"));
}

// The state found on a machine with the agent running used to stay when the
// next load found no agent service, so the button offered to stop it.
TEST(ServiceButton, StaleStateFix_ALoadWithoutTheAgentsServiceShowsStart) {
    DialogHarness h;
    h.start();
    ASSERT_EQ(h.dlg.text(ctl::kService), "Stop Service");
    testing::writeFile(h.fp.fixturePath(), kWithoutAgent);
    h.dlg.click(ctl::kLoad);
    EXPECT_FALSE(h.dlg.ServiceState());
    EXPECT_EQ(h.dlg.text(ctl::kService), "Start Service");
}

}  // namespace
}  // namespace tw::editor
