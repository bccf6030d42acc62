#include "editor/twntcfgapp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::EditorHarness;
using ::testing::ElementsAre;
using testing::ShownMessage;

struct CmdLineCase {
    std::vector<std::string> args;
    bool version;
    bool log;
};

void PrintTo(const CmdLineCase& c, std::ostream* os) {
    for (const auto& a : c.args) *os << "<" << a << ">";
}

class CmdLine : public ::testing::TestWithParam<CmdLineCase> {};

TEST_P(CmdLine, ParsesEveryArgument) {
    CmdLineInfo info;
    for (const auto& a : GetParam().args) info.ParseParam(a);
    EXPECT_EQ(info.showVersion, GetParam().version);
    EXPECT_EQ(info.log, GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CmdLine,
    ::testing::Values(CmdLineCase{{}, false, false}, CmdLineCase{{"v"}, true, false},
                      CmdLineCase{{"-V"}, true, false}, CmdLineCase{{"/D"}, false, true},
                      CmdLineCase{{"-d", "/v"}, true, true},
                      CmdLineCase{{"-x", "twnt.cfg", "--d", "-dv"}, false, false},
                      CmdLineCase{{"", "-", "/"}, false, false}));

TEST(CtwntcfgApp, VersionIsShownAndEndsTheProgramBeforeTheLog) {
    EditorHarness h;
    CtwntcfgApp app(h.p, h.ui);
    EXPECT_EQ(app.InitInstance({"-v", "-d"}), 1);
    EXPECT_THAT(h.ui.messages,
                ElementsAre(ShownMessage{"Version: 5.01.681 (Tue, 09 Oct 2012 20:03:06 GMT)",
                                         "twntcfg Info", MessageKind::Information}));
    EXPECT_TRUE(h.files.files.empty()) << "no log file";
}

TEST(CtwntcfgApp, LogArgumentCreatesTheLogAnewAndSharesItsFlag) {
    EditorHarness h;
    h.files.files["twntcfg.log"] = "an earlier run\r\n";
    CtwntcfgApp app(h.p, h.ui);
    EXPECT_EQ(app.InitInstance({"/D"}), std::nullopt);
    EXPECT_EQ(h.files.files["twntcfg.log"], "twntcfg started\r\n");
    EXPECT_TRUE(app.log().active());
    EXPECT_TRUE(app.log().wmiActive());
    auto dlg = app.createDialog();
    dlg->wmi().start();
    dlg->wmi().ConnectWMIDB(kRootCimv2);
    EXPECT_EQ(h.files.files["twntcfg.log"],
              "twntcfg started\r\nConnectWMIDB::enter.\r\n"
              "ConnectWMIDB::Local WMI connection success.\r\n");
    EXPECT_TRUE(h.ui.messages.empty());
}

TEST(CtwntcfgApp, WithoutTheLogArgumentAnOldLogStaysUntouched) {
    EditorHarness h;
    h.files.files["twntcfg.log"] = "an earlier run\r\n";
    CtwntcfgApp app(h.p, h.ui);
    EXPECT_EQ(app.InitInstance({"-x"}), std::nullopt);
    auto dlg = app.createDialog();
    dlg->OnInitDialog();
    EXPECT_EQ(h.files.files["twntcfg.log"], "an earlier run\r\n");
    EXPECT_FALSE(app.log().wmiActive());
}

TEST(CtwntcfgApp, ALogThatCannotBeCreatedIsReportedOnceAndTheProgramGoesOn) {
    EditorHarness h;
    h.files.failing.insert("twntcfg.log");
    CtwntcfgApp app(h.p, h.ui);
    EXPECT_EQ(app.InitInstance({"d"}), std::nullopt);
    EXPECT_THAT(h.ui.messages, ElementsAre(ShownMessage{"Can not create log file: twntcfg.log",
                                                        "twntcfg Error", MessageKind::Error}));
    EXPECT_FALSE(app.log().active());
    EXPECT_FALSE(app.log().wmiActive());
}

}  // namespace
}  // namespace tw::editor
