#include "editor/wmitestconfig.h"

#include <gtest/gtest.h>

#include "agent/wmitests/definitions.h"
#include "editor/addwmitest.h"
#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::ShownMessage;

// Three stored tests: a quoted "NA", an unquoted threshold, a page format
// with two line breaks.
const char kStored[] =
    "bat String \"NA\" noperf \"select Name from Win32_Processor\" \"x\"|"
    "cpus Numerical 0:0 noperf \"select NumberOfProcessors from Win32_ComputerSystem\" \"\"|"
    "load Numerical \"80:90\" perf \"select LoadPercentage from Win32_Processor\" "
    "\"Q: &query\r\nV: %value%\r\n\"";
const char kCopy[] = "/work/tmp/twwmitests";

// The names as the list's first column shows them (the rows agree).
std::vector<std::string> names(const WMITestConfig& c) {
    std::vector<std::string> out;
    const auto& shown = c.control(WMITestConfig::kList)->rows;
    EXPECT_EQ(shown.size(), c.rows.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i][0], c.rows[i].name);
        out.push_back(shown[i][0]);
    }
    return out;
}

// The dialog a click opened ("New WMI Test"), nullptr when none.
AddWMITest* opened(WMITestConfig& c, const char* button) {
    if (c.click(button) != ViewStep::OpenDialog) return nullptr;
    return dynamic_cast<AddWMITest*>(c.sub());
}

using C = WMITestConfig;
using A = AddWMITest;

class WmiTestConfigTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{R"({
        "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC",
                                  "NumberOfProcessors": 4}],
        "Win32_Processor": [{"Name": "Xeon", "LoadPercentage": 7}]})"};
    void SetUp() override {
        h.store.setSetting("WMITests", kStored);
        h.store.setSetting("WMIPool", defaultwmipool());
        h.system.env["TEMP"] = "/work/tmp";
        h.wmi.start();
    }
};

TEST_F(WmiTestConfigTest, OpeningLoadsTheListAndSaveWritesItBack) {
    WMITestConfig c(h.wmi, h.p);
    ASSERT_EQ(c.rows.size(), 3u);
    EXPECT_EQ(c.rows[0],
              (WmiTestRow{"bat", "String", "", "N", "select Name from Win32_Processor", "x"}));
    EXPECT_EQ(c.rows[1].threshold, "0:0");
    EXPECT_EQ(c.rows[2].pageformat, "Q: &query\\r\\nV: %value%\\r\\n");
    EXPECT_EQ(c.pool, defaultwmipool());
    EXPECT_FALSE(c.enabled(C::kSave));
    EXPECT_EQ(c.control(C::kList)->rows.at(2),
              (std::vector<std::string>{"load", "Numerical", "80:90", "Y",
                                        "select LoadPercentage from Win32_Processor",
                                        "Q: &query\\r\\nV: %value%\\r\\n"}));
    EXPECT_TRUE(h.wmi.connected());  // back on ROOT\CIMV2 for the queries
    EXPECT_EQ(h.ui.waits, 1) << "the reads under the wait cursor";

    c.select(C::kList, 0);
    c.click(C::kDelete);
    EXPECT_TRUE(c.enabled(C::kSave));
    c.click(C::kSave);
    EXPECT_FALSE(c.enabled(C::kSave));
    EXPECT_EQ(h.ui.waits, 2) << "the write under the wait cursor";
    EXPECT_EQ(h.ui.waitDepth, 0);
    // Thresholds come back quoted, the page format with real line breaks.
    const std::string saved =
        "cpus Numerical \"0:0\" noperf \"select NumberOfProcessors from Win32_ComputerSystem\" "
        "\"\"|load Numerical \"80:90\" perf \"select LoadPercentage from Win32_Processor\" "
        "\"Q: &query\r\nV: %value%\r\n\"";
    EXPECT_EQ(h.setting("WMITests"), saved);
    // The private copy as a text-mode file writes the text and a line break.
    std::string copy = saved;
    for (size_t at = 0; (at = copy.find("\r\n", at)) != std::string::npos; at += 3)
        copy.replace(at, 2, "\r\r\n");
    EXPECT_EQ(h.files.files[kCopy], copy + "\r\n");
    EXPECT_EQ(h.files.how[kCopy], testing::MemoryFiles::How::Private);
    EXPECT_TRUE(h.ui.messages.empty());

    // An unchanged list loads and saves the same text again.
    WMITestConfig(h.wmi, h.p).save();
    EXPECT_EQ(h.setting("WMITests"), saved);
    // A missing WMITests still offers the pool.
    h.store.deleteKey(testing::kAgentKey + "WMITests");
    WMITestConfig empty(h.wmi, h.p);
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_EQ(empty.pool, defaultwmipool());
}

TEST_F(WmiTestConfigTest, WhatCannotBeWrittenKeepsSaveEnabled) {
    // Longer than the agent reads: refused before anything is written.
    WMITestConfig c(h.wmi, h.p);
    c.rows[0].pageformat = std::string(kSettingTextLimit, 'p');
    const size_t tooLong = composewmitests(c.rows).size();
    c.ctrl(C::kSave).enabled = true;
    c.save();
    // A write that fails (shown by the registry access, naming the setting).
    c.rows[0].pageformat = "p";
    h.provider.failMethods.insert("SetStringValue");
    h.store.setHealthy(false);
    c.save();
    EXPECT_TRUE(c.enabled(C::kSave));
    EXPECT_EQ(h.files.files.count(kCopy), 0u);
    ASSERT_EQ(h.ui.messages.size(), 2u);
    EXPECT_EQ(h.ui.messages[0].text, "The WMI tests are too long to be saved (" +
                                         std::to_string(tooLong) + " characters, at most 102399).");
    EXPECT_EQ(h.ui.messages[1].caption, "twntcfg Error");
    EXPECT_NE(h.ui.messages[1].text.find("WMITests"), std::string::npos);
    h.store.setHealthy(true);
    EXPECT_EQ(h.setting("WMITests"), kStored);
}

TEST_F(WmiTestConfigTest, EditThenCancelPutsTheRowBackUnchangedWhereItWas) {
    // Fault: the row moved to the end of the list, or became the pool
    // definition chosen meanwhile.
    WMITestConfig c(h.wmi, h.p);
    const std::vector<WmiTestRow> before = c.rows;
    c.select(C::kList, 1);
    AddWMITest* d = opened(c, C::kEdit);
    ASSERT_TRUE(d);
    EXPECT_EQ(names(c), (std::vector<std::string>{"bat", "load"}));
    EXPECT_EQ(d->text(A::kName), "cpus");
    EXPECT_TRUE(c.enabled(C::kSave));
    d->setText(A::kName, "changed");
    d->chooseQuery("select status from Win32_Battery");
    EXPECT_EQ(d->closeBox(), ViewStep::CloseCancel) << "the close box cancels";
    c.closeSub();
    EXPECT_EQ(c.rows, before);
    EXPECT_EQ(names(c), (std::vector<std::string>{"bat", "cpus", "load"}));
}

TEST_F(WmiTestConfigTest, AddEditDeleteAndQuit) {
    WMITestConfig c(h.wmi, h.p);
    EXPECT_EQ(c.click(C::kQuit), ViewStep::CloseOk) << "no pending changes: no question";
    EXPECT_FALSE(opened(c, C::kEdit));
    EXPECT_EQ(h.ui.messages, (std::vector<ShownMessage>{{"You need select a test from the list",
                                                         "ERROR", MessageKind::Error}}));
    c.click(C::kDelete);
    EXPECT_EQ(c.rows.size(), 3u) << "nothing selected";

    // The same pool test twice: "OK" closes, then stays (the name is taken
    // now) until "Cancel" closes.
    for (ViewStep ok : {ViewStep::CloseOk, ViewStep::None}) {
        AddWMITest* d = opened(c, C::kAdd);
        ASSERT_TRUE(d);
        EXPECT_TRUE(c.enabled(C::kSave));
        d->select(A::kQueryField, 6);  // the pool's NumberOfProcessors
        EXPECT_EQ(d->click(kOkButton), ok);
        if (ok == ViewStep::None) {
            EXPECT_EQ(d->click(kCancelButton), ViewStep::CloseCancel);
        }
        c.closeSub();
        EXPECT_EQ(c.sub(), nullptr);
    }
    EXPECT_EQ(names(c), (std::vector<std::string>{"bat", "cpus", "load", "NumberOfProcessors"}));

    // "OK" after "Edit" (a click on the row): the row goes to the end; its
    // own old name is free.
    c.select(C::kList, 1);
    AddWMITest* e = opened(c, C::kList);
    ASSERT_TRUE(e);
    e->setText(A::kPageFormat, "V: %value%");
    EXPECT_EQ(e->click(kOkButton), ViewStep::CloseOk);
    c.closeSub();
    EXPECT_EQ(names(c), (std::vector<std::string>{"bat", "load", "NumberOfProcessors", "cpus"}));

    c.select(C::kList, 0);
    c.click(C::kDelete);
    EXPECT_EQ(names(c), (std::vector<std::string>{"load", "NumberOfProcessors", "cpus"}));
    h.ui.answers = {false, true};
    EXPECT_EQ(c.escape(), ViewStep::None) << "Escape is Quit";
    EXPECT_EQ(c.closeBox(), ViewStep::CloseOk);
    EXPECT_EQ(h.ui.questions,
              (std::vector<ShownMessage>(
                  2, {"Continue without saving?", "Changes not saved", MessageKind::Information})));
    EXPECT_EQ(h.setting("WMITests"), kStored) << "nothing written before Save";
}

class WindowsSystem : public testing::FakeSystem {
  public:
    char pathSeparator() override { return '\\'; }
};

TEST(WmiTestsCopy, BesideTheExportFile) {
    testing::FakeSystem posix;
    posix.fallbacks[0] = "/tmp";
    EXPECT_EQ(twwmitestspath(posix), "/tmp/twwmitests");
    posix.env["TMP"] = "/var/tmp2";
    EXPECT_EQ(twwmitestspath(posix), "/var/tmp2/twwmitests");
    posix.env["TEMP"] = "/home/a/tmp/";
    EXPECT_EQ(twwmitestspath(posix), "/home/a/tmp/twwmitests");
    WindowsSystem windows;
    windows.env["TEMP"] = "C:\\Users\\a\\Temp";
    EXPECT_EQ(twwmitestspath(windows), "c:\\windows\\temp\\twwmitests");
}

}  // namespace
}  // namespace tw::editor
