// The editor on a remote machine, reached as administrators reach one on
// Linux: TWNT_REMOTE_COMMAND starts that machine's twwmi --serve, here over
// its own WMI fixture and its own settings file. Load, edit, save, and the
// settings file of that machine holds the result; this machine's settings
// stay as they were.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "editor/twntcfgdlg.h"
#include "platform/bridge/remote_wmi_provider.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "platform/posix/file_settings_store.h"
#include "test/support/editor_harness.h"
#include "test/support/process.h"

namespace tw::editor {
namespace {

using ::testing::ElementsAre;
using testing::kCompleteSettings;

const char* kFarFixture = R"({
  "Win32_ComputerSystem": [{"Name": "FARHOST", "SystemType": "x64-based PC"}],
  "Win32_PerfRawData_PerfProc_Process": [{"Name": "postgres"}],
  "Win32_LogicalDisk": [{"Name": "D:", "DriveType": 3, "Description": "Data"}],
  "Win32_Service": [
    {"Name": "TallwatchClient", "DisplayName": "Tallwatch Professional Edition Client 5.01",
     "Started": false}
  ],
  "Win32_PerfRawData_Tcpip_NetworkInterface": [{"Name": "bond0", "CurrentBandwidth": "0"}]
})";

const std::string kFarKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";

// TWNT_REMOTE_COMMAND for the test's lifetime.
class RemoteCommand {
  public:
    explicit RemoteCommand(const std::string& command) {
        if (const char* old = std::getenv("TWNT_REMOTE_COMMAND")) old_ = old;
        setenv("TWNT_REMOTE_COMMAND", command.c_str(), 1);
    }
    ~RemoteCommand() {
        if (old_)
            setenv("TWNT_REMOTE_COMMAND", old_->c_str(), 1);
        else
            unsetenv("TWNT_REMOTE_COMMAND");
    }

  private:
    std::optional<std::string> old_;
};

// This machine from the harness's fixture, every other one through the
// bridge command.
struct RemoteHarness : testing::EditorHarness {
    RemoteHarness()
        : machines(platform::makeMachineWmiProvider(
              platform::makeFixtureWmiProvider(fp.fixturePath(), clock, store, &host),
              platform::makeRemoteWmiProvider(), host)),
          remote(fp.with({.wmi = machines.get()})),
          dlg(remote, log, ui) {
        for (const auto& [name, text] : kCompleteSettings) store.setSetting(name, text);
        store.setSetting("Timer", "600");
        testing::writeFile(fp.dir.file("far.json"), kFarFixture);
        farStore = platform::makeFileSettingsStore(fp.dir.file("far.reg"));
        for (const auto& [name, text] : kCompleteSettings)
            farStore->setValue(kFarKey + name, "", platform::RegValue::sz(text));
    }
    std::string bridge() const {
        return "env TWNT_WMI_FIXTURE=" + fp.dir.file("far.json") +
               " TWNT_REGISTRY=" + fp.dir.file("far.reg") + " " + testing::binaryPath("twwmi") +
               " --serve";
    }
    std::string farSetting(const std::string& name) {
        // A store of its own sees the file as the far machine wrote it.
        auto v =
            platform::makeFileSettingsStore(fp.dir.file("far.reg"))->getValue(kFarKey + name, "");
        return v ? v->data : "<missing>";
    }

    std::unique_ptr<platform::WmiProvider> machines;
    platform::Platform remote;
    std::unique_ptr<platform::SettingsStore> farStore;
    CtwntcfgDlg dlg;
};

TEST(EditorRemote, LoadEditSaveAndReadBackFromThatMachinesSettingsFile) {
    RemoteHarness h;
    RemoteCommand command(h.bridge());
    h.dlg.OnInitDialog();
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "600") << "this machine first";
    h.dlg.setText(ctl::kComputerName, "\\\\FARHOST");
    h.dlg.click(ctl::kLoad);
    ASSERT_TRUE(h.ui.messages.empty()) << h.ui.texts()[0];
    EXPECT_TRUE(h.dlg.wmi().connected());
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "300");
    EXPECT_TRUE(h.dlg.wmi().is64Bit());
    EXPECT_THAT(h.dlg.entries(ctl::kDisplayHosts),
                ElementsAre("mon1.corp.lan", "mon2.corp.lan:1985"));
    EXPECT_EQ(h.dlg.text(ctl::kKeyCode), "secret phrase");
    EXPECT_EQ(h.dlg.text(ctl::kComputerName), "\\\\FARHOST");
    EXPECT_THAT(h.dlg.entries(ctl::kProcsPick), ElementsAre("postgres"));
    EXPECT_THAT(h.dlg.entries(ctl::kNetIfsPick), ElementsAre("bond0 0Mbps"));
    EXPECT_EQ(h.dlg.text(ctl::kService), "Start Service");

    h.dlg.setText(ctl::kTimer, "120");
    h.dlg.setText(ctl::kDisplayEntry, "mon3.corp.lan");
    h.dlg.click(ctl::kDisplayAdd);
    h.dlg.click(ctl::kSave);
    EXPECT_TRUE(h.ui.messages.empty()) << h.ui.texts()[0];
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave));
    EXPECT_EQ(h.farSetting("Timer"), "120");
    EXPECT_EQ(h.farSetting("TWDISPLAY"), "mon1.corp.lan;mon2.corp.lan:1985;mon3.corp.lan");
    EXPECT_EQ(h.farSetting("Tests"), kCompleteSettings[26].second);
    EXPECT_EQ(h.setting("Timer"), "600") << "this machine is untouched";

    // The service button acts on that machine too.
    h.dlg.click(ctl::kService);
    EXPECT_EQ(h.dlg.text(ctl::kService), "Stop Service");
}

// The registry provider does not create a missing key on a write; the
// editor creates it on the far machine and writes again.
TEST(EditorRemote, LostWriteFix_ASettingMissingOnThatMachineIsCreatedThere) {
    RemoteHarness h;
    h.farStore->deleteKey(kFarKey + "pluginTimer");
    RemoteCommand command(h.bridge());
    h.dlg.OnInitDialog();
    h.dlg.setText(ctl::kComputerName, "FARHOST");
    h.dlg.click(ctl::kLoad);
    EXPECT_EQ(h.dlg.text(ctl::kLogsTimer), "");
    h.dlg.setText(ctl::kLogsTimer, "90");
    h.dlg.click(ctl::kSave);
    EXPECT_TRUE(h.ui.messages.empty()) << h.ui.texts()[0];
    EXPECT_EQ(h.farSetting("PluginTimer"), "90");
}

TEST(EditorRemote, AMachineThatRefusesIsNamedExactlyAsTyped) {
    RemoteHarness h;
    RemoteCommand command("/nonexistent/bridge {host}");
    h.dlg.OnInitDialog();
    h.dlg.setText(ctl::kComputerName, "\\\\Far-Host.Corp");
    h.dlg.click(ctl::kLoad);
    ASSERT_GE(h.ui.messages.size(), 2u);
    for (size_t i = 0; i + 1 < h.ui.messages.size(); ++i)
        EXPECT_EQ(h.ui.messages[i].text, "Remote WMI connection to \\\\Far-Host.Corp failed.");
    // Then, once, that none of its settings could be read.
    EXPECT_EQ(h.ui.messages.back().text.rfind(
                  "These settings could not be read from \\\\Far-Host.Corp: TWDISPLAY, ", 0),
              0u);
    EXPECT_FALSE(h.dlg.wmi().connected());
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "");
}

}  // namespace
}  // namespace tw::editor
