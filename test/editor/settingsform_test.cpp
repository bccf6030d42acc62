#include "editor/settingsform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::DialogHarness;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ShownMessage;
using Started = testing::StartedDialog;

TEST(SettingsForm, NetworkInterfacesAreCheckedEntryByEntry) {
    struct Case {
        const char* text;
        const char* message;  // nullptr: valid
    } cases[] = {
        {"", nullptr},
        {"LAN 100Mbps:85:95:80:90", nullptr},
        {"LAN 100mbps:0:1:0:1", nullptr},
        {"LAN100Mbps:85:95:80:90", nullptr},
        {"LAN 100Mbps:95:85:80:90", "thresholds error in network interface definition"},
        {"LAN 100:85:95:80:90", "Mbps missing in network interface definition"},
        {"LAN 100Mbps:85:95:80:90;LAN 100:85:95:80:90",
         "Mbps missing in network interface definition"},
        {"LAN 100Mbps:85:95:80:90;WAN 2Mbps:1:2:9:3",
         "thresholds error in network interface definition"},
        {"LAN 100Mbps:85:95:80", "thresholds error in network interface definition"},
        {"LAN 100Mbps:85:95:90:90", "thresholds error in network interface definition"},
        {"LAN 100Mbps:-5:95:80:90", "thresholds error in network interface definition"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checkNetworkInterfaces(c.text).value_or("valid"), c.message ? c.message : "valid")
            << c.text;
}

TEST(SettingsForm, CollectedSettingsShowAgainAsTheyWere) {
    Form form;
    addMainControls(form);
    SettingTexts loaded;
    loaded.text[kTwdisplay] = "b;a";
    loaded.text[kDefaults] = "DISK:90:95 CPU:80:95 PAGEFILE:70:80";
    loaded.text[kMemLevels] = "COMMIT:80:90 PHYS:95:98";
    loaded.text[kCpuRebootColor] = "yellow";
    loaded.text[kFqdn] = "Y";
    loaded.text[kTimer] = "300";
    loaded.machine = "\\\\WEB1";
    showSettings(form, loaded);
    const SettingTexts collected = collectSettings(form, "cpu:P");
    EXPECT_EQ(collected.text[kTwdisplay], "a;b") << "sorted";
    EXPECT_EQ(collected.text[kDefaults], "CPU:80:95 DISK:90:95 PAGEFILE:70:80");
    EXPECT_EQ(collected.text[kMemLevels], "PHYS:95:98 COMMIT:80:90");
    EXPECT_EQ(collected.text[kCpuRebootColor], "Yellow");
    EXPECT_EQ(collected.text[kCpuUpDaysColor], dialogSetting(kCpuUpDaysColor).install);
    EXPECT_EQ(collected.text[kFqdn], "Y");
    EXPECT_EQ(collected.text[kActivatelog], "N");
    EXPECT_EQ(collected.text[kTimer], "300");
    EXPECT_EQ(collected.text[kTests], "cpu:P");
    EXPECT_EQ(collected.machine, "\\\\WEB1");
}

// ---- Defaults, MemLevels, colours --------------------------------------------------

struct DefaultsCase {
    const char* stored;
    const char* fields[6];  // cpu w/p, drives w/p, page file w/p
    const char* saved;
};

void PrintTo(const DefaultsCase& c, std::ostream* os) {
    *os << c.stored;
}

class Defaults : public ::testing::TestWithParam<DefaultsCase> {};

TEST_P(Defaults, LoadIntoTheSixFieldsAndSaveInTheEditorsOrder) {
    const auto& c = GetParam();
    DialogHarness h;
    h.store.setSetting("Defaults", c.stored);
    h.start();
    const char* names[6] = {ctl::kCpuWarning,  ctl::kCpuPanic,        ctl::kDrivesWarning,
                            ctl::kDrivesPanic, ctl::kPageFileWarning, ctl::kPageFilePanic};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(h.dlg.text(names[i]), c.fields[i]) << names[i];
    h.dlg.CollectSettings();
    EXPECT_EQ(h.dlg.EditedSettings().text[kDefaults], c.saved);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Defaults,
    ::testing::Values(
        DefaultsCase{"CPU:80:90 DISK:90:95 PAGEFILE:70:80",
                     {"80", "90", "90", "95", "70", "80"},
                     "CPU:80:90 DISK:90:95 PAGEFILE:70:80"},
        DefaultsCase{"PAGEFILE:70:80 DISK:90:95 CPU:80:90",
                     {"80", "90", "90", "95", "70", "80"},
                     "CPU:80:90 DISK:90:95 PAGEFILE:70:80"},
        DefaultsCase{"DISK:90:95", {"", "", "90", "95", "", ""}, "CPU:: DISK:90:95 PAGEFILE::"},
        DefaultsCase{"cpu:1:2 CPU:5", {"5", "", "", "", "", ""}, "CPU:5: DISK:: PAGEFILE::"}));

TEST(SettingsForm, MemLevelsLoadInEitherOrderAndSaveAsPhysThenCommit) {
    DialogHarness h;
    h.store.setSetting("MemLevels", "COMMIT:80:90 PHYS:95:98");
    h.start();
    EXPECT_EQ(h.dlg.text(ctl::kPhysWarning), "95");
    EXPECT_EQ(h.dlg.text(ctl::kPhysPanic), "98");
    EXPECT_EQ(h.dlg.text(ctl::kCommitWarning), "80");
    EXPECT_EQ(h.dlg.text(ctl::kCommitPanic), "90") << "the last figure runs to the end";
    h.dlg.CollectSettings();
    EXPECT_EQ(h.dlg.EditedSettings().text[kMemLevels], "PHYS:95:98 COMMIT:80:90");
}

TEST(SettingsForm, ColourChoicesSelectTheirWordIgnoringCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "Yellow"}, {"green", "Green"}, {"RED", "Red"}, {"R", "Red"}, {"Blue", ""}};
    for (const auto& [stored, shown] : cases) {
        DialogHarness h;
        h.store.setSetting("CPUrebootcolor", stored);
        h.start();
        EXPECT_EQ(h.dlg.selectedText(ctl::kRebootColor), shown) << stored;
    }
}

// ---- host lists ----------------------------------------------------------------------

TEST(SettingsForm, HostListAddUsesThePrefixSearchAndKeepsTheListSorted) {
    DialogHarness h;
    h.store.setSetting("TWDISPLAY", "abcd;zeta");
    h.start();
    auto& d = h.dlg;
    EXPECT_FALSE(d.enabled(ctl::kDisplayAdd));
    d.setText(ctl::kDisplayEntry, "abc");
    EXPECT_TRUE(d.enabled(ctl::kDisplayAdd));
    EXPECT_FALSE(d.enabled(ctl::kSave)) << "the entry field enables nothing";
    d.click(ctl::kDisplayAdd);
    EXPECT_THAT(d.entries(ctl::kDisplayHosts), ElementsAre("abcd", "zeta"));
    EXPECT_EQ(d.text(ctl::kDisplayEntry), "");
    EXPECT_FALSE(d.enabled(ctl::kDisplayAdd));
    d.setText(ctl::kDisplayEntry, "ABCD");
    d.click(ctl::kDisplayAdd);
    EXPECT_THAT(d.entries(ctl::kDisplayHosts), ElementsAre("abcd", "zeta"));
    d.setText(ctl::kDisplayEntry, "  Mon3:1984 ");
    d.click(ctl::kDisplayAdd);
    EXPECT_THAT(d.entries(ctl::kDisplayHosts), ElementsAre("abcd", "Mon3:1984", "zeta"));
    EXPECT_EQ(d.selectedText(ctl::kDisplayHosts), "Mon3:1984");
    EXPECT_TRUE(d.enabled(ctl::kSave));
    d.CollectSettings();
    EXPECT_EQ(d.EditedSettings().text[kTwdisplay], "abcd;Mon3:1984;zeta");
}

TEST(SettingsForm, HostListDelRemovesTheSelectedEntryAndSelectsTheFirst) {
    DialogHarness h;
    h.store.setSetting("TWPAGE", "a;b;c");
    h.start();
    auto& d = h.dlg;
    d.select(ctl::kPagerHosts, 1);
    d.click(ctl::kPagerDel);
    EXPECT_THAT(d.entries(ctl::kPagerHosts), ElementsAre("a", "c"));
    EXPECT_EQ(d.selected(ctl::kPagerHosts), 0);
    EXPECT_TRUE(d.enabled(ctl::kSave));
    d.click(ctl::kPagerDel);
    d.click(ctl::kPagerDel);
    EXPECT_THAT(d.entries(ctl::kPagerHosts), IsEmpty());
    EXPECT_EQ(d.selected(ctl::kPagerHosts), -1);
    d.CollectSettings();
    EXPECT_EQ(d.EditedSettings().text[kTwpage], "");
}

TEST(SettingsForm, HostListsLoadEveryPieceSorted) {
    DialogHarness h;
    h.store.setSetting("TWDISPLAY", "b;;A");
    h.start();
    EXPECT_THAT(h.dlg.entries(ctl::kDisplayHosts), ElementsAre("", "A", "b"));
}

// ---- validation ------------------------------------------------------------------------

struct ValidationCase {
    const char* control;  // nullptr: empty the DISPLAY list
    const char* value;
    const char* message;
    const char* focus;
    const char* other = nullptr;  // a second field to set first
    const char* otherValue = nullptr;
};

void PrintTo(const ValidationCase& c, std::ostream* os) {
    *os << c.message;
}

class Validation : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(Validation, FirstFailureIsShownWithFocusAndNothingIsWritten) {
    const auto& c = GetParam();
    Started h;
    auto& d = h.dlg;
    if (c.other) {
        ASSERT_TRUE(d.setText(c.other, c.otherValue));
    }
    if (c.control) {
        ASSERT_TRUE(d.setText(c.control, c.value)) << c.control;
    } else {
        d.click(ctl::kDisplayDel);
        d.click(ctl::kDisplayDel);
    }
    h.provider.calls.clear();
    d.click(ctl::kSave);
    EXPECT_THAT(h.ui.messages,
                ElementsAre(ShownMessage{c.message, "twntcfg Error", MessageKind::Error}));
    EXPECT_THAT(h.ui.focus, ElementsAre(c.focus));
    EXPECT_EQ(h.provider.calls["SetStringValue"], 0);
    EXPECT_TRUE(d.enabled(ctl::kSave));
    EXPECT_EQ(h.ui.waitDepth, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Validation,
    ::testing::Values(
        ValidationCase{nullptr, "", "A DISPALY host is required", ctl::kDisplayHosts},
        ValidationCase{ctl::kDrivesWarning, "", "Disk warning value is required",
                       ctl::kDrivesWarning},
        ValidationCase{ctl::kDrivesPanic, "", "Disk Panic value is required", ctl::kDrivesPanic},
        ValidationCase{ctl::kCpuWarning, "", "CPU warning value is required", ctl::kCpuWarning},
        ValidationCase{ctl::kCpuPanic, "", "CPU Panic value is required", ctl::kCpuPanic},
        ValidationCase{ctl::kPhysWarning, "", "Physical Memory warning value is required",
                       ctl::kPhysWarning},
        ValidationCase{ctl::kPhysPanic, "", "Physical Memory Panic value is required",
                       ctl::kPhysPanic},
        ValidationCase{ctl::kCommitWarning, "", "Commit Charge warning value is required",
                       ctl::kCommitWarning},
        ValidationCase{ctl::kCommitPanic, "", "Commit Charge panic value is required",
                       ctl::kCommitPanic},
        ValidationCase{ctl::kPageFileWarning, "", "Page File warning value is required",
                       ctl::kPageFileWarning},
        ValidationCase{ctl::kPageFilePanic, "", "Page File panic value is required",
                       ctl::kPageFilePanic},
        ValidationCase{ctl::kRebootMins, "", "\"CPU reboot message duration\" value is required",
                       ctl::kRebootMins},
        ValidationCase{ctl::kStartDelay, "", "\"Start monitoring after\" value is required",
                       ctl::kStartDelay},
        ValidationCase{ctl::kUpDays, "",
                       "\"CPU warning when computer has been up\" value is required", ctl::kUpDays},
        ValidationCase{ctl::kDrivesWarning, "96", "Disk warning value is invalid",
                       ctl::kDrivesWarning},
        ValidationCase{ctl::kCpuWarning, "95", "CPU warning value is invalid", ctl::kCpuWarning,
                       ctl::kCpuPanic, "90"},
        ValidationCase{ctl::kPhysWarning, "99", "Physical Memory warning value is invalid",
                       ctl::kPhysWarning},
        ValidationCase{ctl::kCommitWarning, "91", "Commit Charge warning value is invalid",
                       ctl::kCommitWarning},
        ValidationCase{ctl::kPageFileWarning, "81", "Page File Usage warning value is invalid",
                       ctl::kPageFileWarning},
        ValidationCase{ctl::kNetIfs, "LAN 100:85:95:80:90",
                       "Mbps missing in network interface definition", ctl::kNetIfs},
        // The first failing check wins: an empty drives warning before a bad CPU pair.
        ValidationCase{ctl::kDrivesWarning, "", "Disk warning value is required",
                       ctl::kDrivesWarning, ctl::kCpuWarning, "99"}));

TEST(SettingsForm, EqualWarningAndPanicFiguresPass) {
    Started h;
    h.dlg.setText(ctl::kCpuWarning, "90");
    h.dlg.setText(ctl::kCpuPanic, "90");
    h.dlg.click(ctl::kSave);
    EXPECT_TRUE(h.ui.messages.empty());
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave));
    EXPECT_EQ(h.setting("Defaults"), "CPU:90:90 DISK:90:95 PAGEFILE:70:80");
}

// Each text's check is the settings form's; leaving the field shows its
// message and brings the focus back.
TEST(SettingsForm, NetworkInterfacesAreCheckedWhenTheFieldIsLeft) {
    Started h;
    h.dlg.setText(ctl::kNetIfs, "LAN 100Mbps:85:95:80:90");
    h.dlg.focusLost(ctl::kNetIfs);
    EXPECT_TRUE(h.ui.messages.empty());
    EXPECT_TRUE(h.ui.focus.empty());
    h.dlg.setText(ctl::kNetIfs, "LAN 100Mbps:95:85:80:90");
    h.dlg.focusLost(ctl::kNetIfs);
    EXPECT_THAT(h.ui.messages,
                ElementsAre(ShownMessage{"thresholds error in network interface definition",
                                         "twntcfg Error", MessageKind::Error}));
    EXPECT_THAT(h.ui.focus, ElementsAre(ctl::kNetIfs)) << "the focus returns";
}

// When the focus left "Network IFs" for "Save", the focus check showed its
// message under Save's own message of the same text.
TEST(SettingsForm, DoubleMessageFix_FocusLeavingForSaveShowsTheNetworkMessageOnce) {
    Started h;
    h.dlg.setText(ctl::kNetIfs, "LAN 100:85:95:80:90");
    h.ui.whileShown = [&] { h.dlg.focusLost(ctl::kNetIfs); };
    h.dlg.click(ctl::kSave);
    EXPECT_THAT(h.ui.texts(), ElementsAre("Mbps missing in network interface definition"));
    EXPECT_THAT(h.ui.focus, ElementsAre(ctl::kNetIfs));
    // Anywhere else the focus check still speaks.
    h.ui.clear();
    h.dlg.focusLost(ctl::kNetIfs);
    EXPECT_THAT(h.ui.texts(), ElementsAre("Mbps missing in network interface definition"));
}

}  // namespace
}  // namespace tw::editor
