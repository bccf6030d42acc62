#include "editor/testmodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::DialogHarness;
using ::testing::ElementsAre;

const std::string kDefaultTests =
    "procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D";

// ---- tests mode ---------------------------------------------------------------------

TEST(TestModePanel, EmptyTestsIsSavedBackAsTheDefaultText) {
    DialogHarness h;
    h.store.setSetting("Tests", "");
    h.start();
    h.dlg.SaveSettings();
    EXPECT_EQ(h.setting("Tests"), kDefaultTests);
}

TEST(TestModePanel, ModeButtonsFollowTheStoredTestsAndRewriteAllTen) {
    DialogHarness h;
    h.store.setSetting("Tests", "cpu:T procs:T");
    h.start();
    auto& d = h.dlg;
    EXPECT_THAT(d.entries(ctl::kSetTest),
                ElementsAre("cpu", "disk", "mem", "msgs", "netdata", "netprotl", "pagefile",
                            "procs", "svcs", "wmitest"));
    EXPECT_TRUE(d.checked(ctl::kPerformTrend));
    EXPECT_EQ(d.LoadedSettings().text[kTests], "cpu:T procs:T") << "no click, no rewrite";
    EXPECT_FALSE(d.enabled(ctl::kDrives)) << "disk is not listed, so disabled";
    d.select(ctl::kSetTest, 7);  // procs
    EXPECT_TRUE(d.checked(ctl::kPerform));
    EXPECT_FALSE(d.checked(ctl::kPerformTrend));
    EXPECT_FALSE(d.enabled(ctl::kPerformTrend));
    EXPECT_FALSE(d.enabled(ctl::kSave)) << "choosing a test changes nothing";
    d.click(ctl::kAlwaysGreen);
    EXPECT_EQ(d.LoadedSettings().text[kTests],
              "procs:G msgs:D cpu:T disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D "
              "wmitest:D");
    EXPECT_TRUE(d.enabled(ctl::kSave));
    d.select(ctl::kSetTest, 1);  // disk
    EXPECT_TRUE(d.checked(ctl::kDisable));
    EXPECT_TRUE(d.enabled(ctl::kPerformTrend));
    d.click(ctl::kPerformTrend);
    EXPECT_TRUE(d.enabled(ctl::kDrives));
    EXPECT_TRUE(d.enabled(ctl::kDrivesPick));
    d.SaveSettings();
    EXPECT_EQ(h.setting("Tests"),
              "procs:G msgs:D cpu:T disk:T netprotl:D mem:D pagefile:D svcs:D netdata:D "
              "wmitest:D");
}

TEST(TestModePanel, ATestOutsideTheTenIsLostAtTheNextModeClick) {
    DialogHarness h;
    h.store.setSetting("Tests", "foo:P cpu:G");
    h.start();
    EXPECT_TRUE(h.dlg.checked(ctl::kAlwaysGreen));
    h.dlg.click(ctl::kPerform);
    EXPECT_EQ(h.dlg.LoadedSettings().text[kTests],
              "procs:D msgs:D cpu:P disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D "
              "wmitest:D");
}

TEST(TestModePanel, EachTestsModeEnablesOrDisablesItsFields) {
    const struct {
        const char* tests;
        std::vector<const char*> off, on;
    } cases[] = {
        {"disk:D msgs:D netdata:D procs:D svcs:D wmitest:D",
         {ctl::kDrives, ctl::kDrivesPick, ctl::kMsgLevels, ctl::kIgnoreMsgs, ctl::kNetIfs,
          ctl::kNetIfsPick, ctl::kProcs, ctl::kProcsPick, ctl::kServices, ctl::kServicesPick,
          ctl::kWmiTestConfig},
         {}},
        {"disk:P msgs:G netdata:T procs:P svcs:G wmitest:T",
         {},
         {ctl::kDrives, ctl::kDrivesPick, ctl::kMsgLevels, ctl::kIgnoreMsgs, ctl::kNetIfs,
          ctl::kNetIfsPick, ctl::kProcs, ctl::kProcsPick, ctl::kServices, ctl::kServicesPick,
          ctl::kWmiTestConfig}},
    };
    for (const auto& c : cases) {
        DialogHarness h;
        h.store.setSetting("Tests", c.tests);
        h.start();
        for (const char* name : c.off) EXPECT_FALSE(h.dlg.enabled(name)) << c.tests << " " << name;
        for (const char* name : c.on) EXPECT_TRUE(h.dlg.enabled(name)) << c.tests << " " << name;
    }
}

TEST(TestModePanel, AModeLetterOutsidePtgdChangesNoFieldAndShowsPerform) {
    DialogHarness h;
    h.store.setSetting("Tests", "disk:D");
    h.start();
    ASSERT_FALSE(h.dlg.enabled(ctl::kDrives));
    h.store.setSetting("tests", "disk:x");
    h.dlg.click(ctl::kLoad);
    EXPECT_FALSE(h.dlg.enabled(ctl::kDrives));
    h.dlg.select(ctl::kSetTest, 1);  // disk
    EXPECT_TRUE(h.dlg.checked(ctl::kPerform));
    EXPECT_EQ(h.dlg.TestModeTable()[3].mode, 'x');
}

}  // namespace
}  // namespace tw::editor
