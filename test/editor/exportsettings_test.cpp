#include "editor/exportsettings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::DialogHarness;

struct DirCase {
    const char* temp;  // nullptr: unset
    const char* tmp;
    const char* dir;
};

void PrintTo(const DirCase& c, std::ostream* os) {
    *os << c.dir;
}

class ExportDirectory : public ::testing::TestWithParam<DirCase> {};

TEST_P(ExportDirectory, IsTempThenTmpThenThePlatformsFolder) {
    const auto& c = GetParam();
    testing::FakeSystem system;
    system.fallbacks[0] = "/tmp";
    if (c.temp) system.env["TEMP"] = c.temp;
    if (c.tmp) system.env["TMP"] = c.tmp;
    EXPECT_EQ(editorFileDirectory(system), c.dir);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExportDirectory,
                         ::testing::Values(DirCase{"/home/a/t", "/x", "/home/a/t/"},
                                           DirCase{nullptr, "/var/x/", "/var/x/"},
                                           DirCase{"", "/var/x", "/var/x/"},
                                           DirCase{nullptr, nullptr, "/tmp/"}));

const char* kExpectedExport =
    "[TWDISPLAY]mon1.corp.lan;mon2.corp.lan:1985\r\n"
    "[TWPAGE][::1]:1986;pager.corp.lan\r\n"
    "[AliasName]Front End #2\r\n"
    "[Activatelog]Y\r\n"
    "[FQDN]N\r\n"
    "[SendPageAlerts]Y\r\n"
    "[Defaults]CPU:80:95 DISK:90:95 PAGEFILE:70:80\r\n"
    "[MemLevels]PHYS:95:98 COMMIT:80:90\r\n"
    "[CPUrebootcolor]Red\r\n"
    "[CPUrebootmins]60\r\n"
    "[StartDelay]2\r\n"
    "[CPUupdays]999\r\n"
    "[CPUupdayscolor]Green\r\n"
    "[PageLevels]red purple \r\n"
    "[ExternalPath]/var/spool/tw\r\n"
    "[MsgLevels]SYS:ERR:Y:30 APP:WARN:N:15\r\n"
    "[IgnoreMsgs]\r\n"
    "[Procs]svchost:N:1 sqlservr:N:2\r\n"
    "[DiskList]C:90:95:R \r\n"
    "[Services]Print Spooler:R:R:N\r\n"
    "[Networkinterfaces]eth0 1000Mbps:85:95:80:90\r\n"
    "[Externals]/opt/check.sh /INT=300\r\n"
    "[KeyCode]secret phrase\r\n"
    "[IPPort]1984\r\n"
    "[Timer]300\r\n"
    "[pluginTimer]60\r\n"
    "[tests]procs:T msgs:P cpu:T disk:P netprotl:G mem:P pagefile:P svcs:P netdata:T "
    "wmitest:P\r\n"
    "[WMITests]cpuload Numerical \"80:90\" perf \"select LoadPercentage from "
    "Win32_Processor\" \"Load: %value%\r\r\nDone\"\r\n";

TEST(ExportSettings, EverySaveWritesThe28LinesAsAPrivateFile) {
    DialogHarness h;
    h.system.env["TEMP"] = "/home/admin/tmp";
    h.start();
    h.dlg.setText(ctl::kIgnoreMsgs, "");
    h.dlg.click(ctl::kSave);
    const std::string path = "/home/admin/tmp/TWNT.cfg";
    ASSERT_EQ(h.files.files.count(path), 1u);
    EXPECT_EQ(h.files.files[path], kExpectedExport);
    EXPECT_EQ(h.files.how[path], testing::MemoryFiles::How::Private);
}

TEST(ExportSettings, RecordsWhatTheSaveWroteAlsoWhenAWriteFailed) {
    DialogHarness h;
    h.system.env["TEMP"] = "/t";
    h.start();
    h.dlg.setText(ctl::kTimer, "45");
    h.provider.failMethods.insert("SetStringValue");
    h.store.setHealthy(false);
    h.dlg.click(ctl::kSave);
    const std::string& text = h.files.files["/t/TWNT.cfg"];
    EXPECT_NE(text.find("[Timer]45\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n[WMITests]\r\n"), std::string::npos) << "a failed read: empty";
}

TEST(ExportSettings, AFileThatCannotBeWrittenIsSkippedSilently) {
    DialogHarness h;
    h.system.env["TEMP"] = "/t";
    h.files.failing.insert("/t/TWNT.cfg");
    h.start();
    h.dlg.setText(ctl::kTimer, "45");
    h.dlg.click(ctl::kSave);
    EXPECT_TRUE(h.ui.messages.empty());
    EXPECT_EQ(h.setting("Timer"), "45");
}

TEST(ExportSettings, APathOfTheWindowsLengthLimitOrMoreIsRefused) {
    DialogHarness h;
    h.start();
    SettingTexts saved;
    // 1 + 250 + 1 + 8 = 260 bytes.
    const std::string longDir = "/" + std::string(250, 'd');
    h.system.env["TEMP"] = longDir;
    EXPECT_FALSE(ExportSettings(saved, h.dlg.wmi(), h.system, h.files));
    EXPECT_EQ(h.files.files.count(longDir + "/TWNT.cfg"), 0u);
    const std::string dir = "/" + std::string(249, 'd');
    h.system.env["TEMP"] = dir;
    EXPECT_TRUE(ExportSettings(saved, h.dlg.wmi(), h.system, h.files));
    EXPECT_EQ(h.files.files.count(dir + "/TWNT.cfg"), 1u);
}

}  // namespace
}  // namespace tw::editor
