#include "editor/wmitestconfig.h"

#include <gtest/gtest.h>

#include "agent/wmitests/definitions.h"
#include "editor/testquery.h"
#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::ShownMessage;

const char kFixture[] = R"({
    "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC",
                              "NumberOfProcessors": 4}],
    "Win32_Processor": [{"Name": "Xeon", "LoadPercentage": 7}]
})";

// Three stored tests: a quoted "NA", an unquoted threshold, a page format
// with two line breaks.
const char kStored[] =
    "bat String \"NA\" noperf \"select Name from Win32_Processor\" \"x\"|"
    "cpus Numerical 0:0 noperf \"select NumberOfProcessors from Win32_ComputerSystem\" \"\"|"
    "load Numerical \"80:90\" perf \"select LoadPercentage from Win32_Processor\" "
    "\"Q: &query\r\nV: %value%\r\n\"";

std::vector<std::string> names(const WMITestConfig& c) {
    std::vector<std::string> out;
    for (const WmiTestRow& r : c.rows) out.push_back(r.name);
    return out;
}

class WmiTestConfigTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{kFixture};
    void SetUp() override {
        h.store.setSetting("WMITests", kStored);
        h.store.setSetting("WMIPool", defaultwmipool());
        h.system.env["TEMP"] = "/work/tmp";
        ASSERT_TRUE(h.wmi.start());
    }
};

TEST_F(WmiTestConfigTest, OpeningLoadsTheListAndThePool) {
    WMITestConfig c(h.wmi, h.p);
    ASSERT_EQ(c.rows.size(), 3u);
    EXPECT_EQ(c.rows[0],
              (WmiTestRow{"bat", "String", "", "N", "select Name from Win32_Processor", "x"}));
    EXPECT_EQ(c.rows[1].threshold, "0:0");
    EXPECT_EQ(c.rows[2].pageformat, "Q: &query\\r\\nV: %value%\\r\\n");
    EXPECT_EQ(c.pool, defaultwmipool());
    EXPECT_FALSE(c.saveEnabled);
    EXPECT_EQ(c.selected, -1);
    // Back on ROOT\CIMV2 for the queries of the dialogs.
    EXPECT_TRUE(h.wmi.connected());
    EXPECT_EQ(runwmiquery(h.wmi, "select Name from Win32_Processor").value, "Xeon");
    EXPECT_EQ(std::string(kWmiTestColumns[4]), "WMI Query Statement");
}

TEST_F(WmiTestConfigTest, AReadFailureLeavesOnlyItsOwnListEmpty) {
    h.store.deleteKey(testing::kAgentKey + "WMITests");
    WMITestConfig c(h.wmi, h.p);
    EXPECT_TRUE(c.rows.empty());
    EXPECT_EQ(c.pool, defaultwmipool());
}

TEST_F(WmiTestConfigTest, SaveWritesTheSettingAndThePrivateCopy) {
    WMITestConfig c(h.wmi, h.p);
    c.selected = 0;
    c.remove();
    EXPECT_TRUE(c.saveEnabled);
    c.save();
    EXPECT_FALSE(c.saveEnabled);
    // Thresholds come back quoted, the page format with real line breaks.
    const std::string saved =
        "cpus Numerical \"0:0\" noperf \"select NumberOfProcessors from Win32_ComputerSystem\" "
        "\"\"|load Numerical \"80:90\" perf \"select LoadPercentage from Win32_Processor\" "
        "\"Q: &query\r\nV: %value%\r\n\"";
    EXPECT_EQ(h.setting("WMITests"), saved);
    // The copy as a text-mode file writes it, followed by a line break.
    EXPECT_EQ(h.files.files["/work/tmp/twwmitests"],
              "cpus Numerical \"0:0\" noperf \"select NumberOfProcessors from "
              "Win32_ComputerSystem\" \"\"|load Numerical \"80:90\" perf \"select LoadPercentage "
              "from Win32_Processor\" \"Q: &query\r\r\nV: %value%\r\r\n\"\r\n");
    EXPECT_EQ(h.files.how["/work/tmp/twwmitests"], testing::MemoryFiles::How::Private);
    EXPECT_TRUE(h.ui.messages.empty());
    EXPECT_TRUE(h.wmi.connected());

    // An unchanged list loads and saves the same text again.
    WMITestConfig again(h.wmi, h.p);
    again.save();
    EXPECT_EQ(h.setting("WMITests"), saved);
}

TEST_F(WmiTestConfigTest, AFailedWriteKeepsSaveEnabledAndWritesNoCopy) {
    WMITestConfig c(h.wmi, h.p);
    c.selected = 2;
    c.remove();
    h.provider.failMethods.insert("SetStringValue");
    h.store.setHealthy(false);
    c.save();
    EXPECT_TRUE(c.saveEnabled);
    EXPECT_TRUE(h.files.files.count("/work/tmp/twwmitests") == 0);
    ASSERT_EQ(h.ui.messages.size(), 1u);
    EXPECT_EQ(h.ui.messages[0].caption, "twntcfg Error");
    EXPECT_NE(h.ui.messages[0].text.find("WMITests"), std::string::npos);
}

TEST_F(WmiTestConfigTest, TooLongForTheAgentIsNotSaved) {
    WMITestConfig c(h.wmi, h.p);
    c.rows[0].pageformat = std::string(kSettingTextLimit, 'p');
    c.saveEnabled = true;
    c.save();
    EXPECT_TRUE(c.saveEnabled);
    EXPECT_EQ(h.setting("WMITests"), kStored);
    ASSERT_EQ(h.ui.messages.size(), 1u);
    EXPECT_EQ(h.ui.messages[0].caption, "twntcfg Error");
}

TEST_F(WmiTestConfigTest, EditThenCancelPutsTheRowBackUnchangedWhereItWas) {
    // Fault: the row moved to the end of the list, or became the pool
    // definition chosen meanwhile.
    WMITestConfig c(h.wmi, h.p);
    const std::vector<WmiTestRow> before = c.rows;
    c.selected = 1;
    std::optional<AddWMITest> d = c.edit();
    ASSERT_TRUE(d);
    EXPECT_EQ(names(c), (std::vector<std::string>{"bat", "load"}));
    EXPECT_EQ(d->name, "cpus");
    EXPECT_TRUE(c.saveEnabled);
    d->name = "changed";
    d->chooseQuery("select status from Win32_Battery");
    d->cancel();
    EXPECT_EQ(c.rows, before);
}

TEST_F(WmiTestConfigTest, EditThenOkAppendsTheEditedRow) {
    WMITestConfig c(h.wmi, h.p);
    c.selected = 1;
    std::optional<AddWMITest> d = c.edit();
    ASSERT_TRUE(d);
    // Its own old name no longer counts as taken.
    d->threshold = "1:2";
    d->pageformat = "V: %value%";
    EXPECT_TRUE(d->ok());
    ASSERT_EQ(names(c), (std::vector<std::string>{"bat", "load", "cpus"}));
    EXPECT_EQ(c.rows[2].threshold, "1:2");
    EXPECT_EQ(c.rows[2].trend, "N");
}

TEST_F(WmiTestConfigTest, AddEditDeleteAndQuit) {
    WMITestConfig c(h.wmi, h.p);
    EXPECT_TRUE(c.quit()) << "no pending changes: no question";
    EXPECT_TRUE(h.ui.questions.empty());

    EXPECT_FALSE(c.edit());
    EXPECT_EQ(h.ui.messages, (std::vector<ShownMessage>{{"You need select a test from the list",
                                                         "ERROR", MessageKind::Error}}));
    EXPECT_FALSE(c.saveEnabled);
    c.remove();
    EXPECT_EQ(c.rows.size(), 3u) << "nothing selected";

    AddWMITest d = c.add();
    EXPECT_TRUE(c.saveEnabled);
    d.chooseQuery("select NumberOfProcessors from Win32_ComputerSystem");
    EXPECT_TRUE(d.ok());
    EXPECT_EQ(names(c), (std::vector<std::string>{"bat", "cpus", "load", "NumberOfProcessors"}));
    AddWMITest twice = c.add();
    twice.chooseQuery("select NumberOfProcessors from Win32_ComputerSystem");
    EXPECT_FALSE(twice.ok()) << "the name is taken now";
    twice.cancel();
    EXPECT_EQ(c.rows.size(), 4u);

    c.selected = 0;
    c.remove();
    EXPECT_EQ(names(c), (std::vector<std::string>{"cpus", "load", "NumberOfProcessors"}));
    EXPECT_EQ(c.selected, -1);

    h.ui.answers = {false, true};
    EXPECT_FALSE(c.quit());
    EXPECT_TRUE(c.quit());
    EXPECT_EQ(h.ui.questions,
              (std::vector<ShownMessage>(
                  2, {"Continue without saving?", "Changes not saved", MessageKind::Information})));
    EXPECT_EQ(h.setting("WMITests"), kStored) << "nothing written before Save";
}

TEST_F(WmiTestConfigTest, OpenedFromTheMainDialog) {
    // A complete store, with the WMI tests enabled.
    for (const SettingDef& def : kSettingsTable)
        if (def.install) h.store.setSetting(def.name, def.install);
    h.store.setSetting("TWDISPLAY", "display1");
    h.store.setSetting("Tests", "wmitest:P");
    h.store.setSetting("WMITests", kStored);
    CtwntcfgDlg dlg(h.p, h.log, h.ui);
    ASSERT_FALSE(dlg.OnInitDialog());
    ASSERT_TRUE(dlg.click(ctl::kWmiTestConfig));
    EXPECT_TRUE(dlg.enabled(ctl::kSave));
    WMITestConfig c(dlg);
    EXPECT_EQ(c.rows.size(), 3u);
    c.save();
    EXPECT_EQ(h.files.how["/work/tmp/twwmitests"], testing::MemoryFiles::How::Private);
}

class WindowsSystem : public testing::FakeSystem {
  public:
    char pathSeparator() override { return '\\'; }
};

TEST(WmiTestsCopy, BesideTheExportFile) {
    testing::FakeSystem linux;
    linux.fallbacks[0] = "/tmp";
    EXPECT_EQ(twwmitestspath(linux), "/tmp/twwmitests");
    linux.env["TMP"] = "/var/tmp2";
    EXPECT_EQ(twwmitestspath(linux), "/var/tmp2/twwmitests");
    linux.env["TEMP"] = "/home/a/tmp/";
    EXPECT_EQ(twwmitestspath(linux), "/home/a/tmp/twwmitests");
    WindowsSystem windows;
    windows.env["TEMP"] = "C:\\Users\\a\\Temp";
    EXPECT_EQ(twwmitestspath(windows), "c:\\windows\\temp\\twwmitests");
}

}  // namespace
}  // namespace tw::editor
