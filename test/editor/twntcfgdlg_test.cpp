#include "editor/twntcfgdlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "editor/remoteselect.h"
#include "editor/wmitestconfig.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using ::testing::Contains;
using testing::DialogHarness;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::kCompleteSettings;
using ::testing::Not;
using testing::ShownMessage;

const std::string kDefaultTests =
    "procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D";

using Started = testing::StartedDialog;

TEST(CtwntcfgDlg, LoadOfACompleteStoreShowsEveryField) {
    Started h;
    auto& d = h.dlg;
    EXPECT_THAT(d.entries(ctl::kDisplayHosts), ElementsAre("mon1.corp.lan", "mon2.corp.lan:1985"));
    EXPECT_EQ(d.selected(ctl::kDisplayHosts), 0);
    EXPECT_THAT(d.entries(ctl::kPagerHosts), ElementsAre("[::1]:1986", "pager.corp.lan"));
    const std::pair<const char*, const char*> texts[] = {
        {ctl::kComputerName, "\\\\WEB1"},
        {ctl::kAlias, "Front End #2"},
        {ctl::kCpuWarning, "80"},
        {ctl::kCpuPanic, "95"},
        {ctl::kDrivesWarning, "90"},
        {ctl::kDrivesPanic, "95"},
        {ctl::kPageFileWarning, "70"},
        {ctl::kPageFilePanic, "80"},
        {ctl::kPhysWarning, "95"},
        {ctl::kPhysPanic, "98"},
        {ctl::kCommitWarning, "80"},
        {ctl::kCommitPanic, "90"},
        {ctl::kRebootMins, "60"},
        {ctl::kStartDelay, "2"},
        {ctl::kUpDays, "999"},
        {ctl::kPageLevels, "red purple "},
        {ctl::kLogLocation, "/var/spool/tw"},
        {ctl::kMsgLevels, "SYS:ERR:Y:30 APP:WARN:N:15"},
        {ctl::kIgnoreMsgs, "DCOM"},
        {ctl::kProcs, "svchost:N:1 sqlservr:N:2"},
        {ctl::kDrives, "C:90:95:R "},
        {ctl::kServices, "Print Spooler:R:R:N"},
        {ctl::kNetIfs, "eth0 1000Mbps:85:95:80:90"},
        {ctl::kExternals, "/opt/check.sh /INT=300"},
        {ctl::kKeyCode, "secret phrase"},
        {ctl::kIpPort, "1984"},
        {ctl::kTimer, "300"},
        {ctl::kLogsTimer, "60"},
        {ctl::kService, "Stop Service"},
    };
    for (const auto& [name, text] : texts) EXPECT_EQ(d.text(name), text) << name;
    EXPECT_TRUE(d.checked(ctl::kActivateLog));
    EXPECT_FALSE(d.checked(ctl::kFqdn));
    EXPECT_TRUE(d.checked(ctl::kSendAlerts));
    EXPECT_EQ(d.selectedText(ctl::kRebootColor), "Red");
    EXPECT_EQ(d.selectedText(ctl::kUpDaysColor), "Green");
    EXPECT_EQ(d.selectedText(ctl::kSetTest), "cpu");
    EXPECT_TRUE(d.checked(ctl::kPerformTrend));
    EXPECT_FALSE(d.enabled(ctl::kSave));
    EXPECT_FALSE(d.enabled(ctl::kDisplayAdd));
    EXPECT_FALSE(d.enabled(ctl::kPagerAdd));
    for (const char* c :
         {ctl::kDrives, ctl::kNetIfs, ctl::kProcs, ctl::kServices, ctl::kWmiTestConfig})
        EXPECT_TRUE(d.enabled(c)) << c;
    EXPECT_EQ(d.LoadedSettings().machine, "\\\\WEB1");
    EXPECT_TRUE(h.ui.messages.empty());
}

TEST(CtwntcfgDlg, LoadNoEditSaveWritesTheTextsBackByteForByte) {
    Started h;
    h.dlg.SaveSettings();
    EXPECT_TRUE(h.ui.messages.empty()) << h.ui.texts()[0];
    EXPECT_EQ(h.provider.calls["SetStringValue"], 27);
    for (const auto& [name, text] : kCompleteSettings) EXPECT_EQ(h.setting(name), text) << name;
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave));
    EXPECT_THAT(h.ui.focus, ElementsAre(ctl::kQuit));
    EXPECT_EQ(h.ui.waitDepth, 0);
}

TEST(CtwntcfgDlg, LoadsAndSavesInTheDialogsOrderWithTheEditorsNames) {
    Started h;
    std::vector<std::string> reads;
    for (const auto& line : h.logLines())
        if (line.rfind("wmireadregistry enter: ", 0) == 0)
            reads.push_back(line.substr(line.rfind('\\') + 1));
    ASSERT_EQ(reads.size(), 27u);
    EXPECT_EQ(reads[2], "AliasName");
    EXPECT_EQ(reads[20], "Networkinterfaces");
    EXPECT_EQ(reads[23], "IPPort");
    EXPECT_EQ(reads[25], "pluginTimer");
    EXPECT_EQ(reads[26], "tests");
}

TEST(CtwntcfgDlg, StartLogsAndConnectsInOrder) {
    Started h;
    auto lines = h.logLines();
    std::vector<std::string> dialog;
    for (const auto& l : lines)
        if (l.find("OnInitDialog") == 0 || l.find("InitializeComponentValues") == 0 ||
            l.find("GetRegistryValues") == 0 || l.find("StartStopService") == 0)
            dialog.push_back(l);
    EXPECT_THAT(
        dialog,
        ElementsAre("OnInitDialog::WMI initialization success.",
                    "InitializeComponentValues::enter.",
                    "InitializeComponentValues::DEFAULT connect.", "GetRegistryValues::enter.",
                    "InitializeComponentValues::CIMV2 connect.", "StartStopService::enter."));
}

TEST(CtwntcfgDlg, EmptyStoreLoadsEmptyFieldsWithTheTwoDefaults) {
    Started h(false);
    EXPECT_THAT(h.dlg.entries(ctl::kDisplayHosts), IsEmpty());
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "");
    EXPECT_EQ(h.dlg.selectedText(ctl::kRebootColor), "Yellow");
    EXPECT_EQ(h.dlg.selectedText(ctl::kUpDaysColor), "Yellow");
    EXPECT_EQ(h.dlg.LoadedSettings().text[kTests], kDefaultTests);
}

TEST(CtwntcfgDlg, LocalReadFailureInTheMiddleLeavesAllLaterSettingsEmpty) {
    DialogHarness h;
    h.store.deleteKey(testing::kAgentKey + "MemLevels");
    h.start();
    const auto& t = h.dlg.LoadedSettings().text;
    EXPECT_EQ(t[kDefaults], "CPU:80:95 DISK:90:95 PAGEFILE:70:80");
    EXPECT_EQ(t[kMemLevels], "");
    EXPECT_EQ(t[kCpuRebootColor], "");
    EXPECT_EQ(t[kTimer], "");
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "");
    EXPECT_EQ(h.provider.calls["GetStringValue"], 8);
}

TEST(CtwntcfgDlg, RemoteMachineThatRefusesShowsItsNameAndLoadsEmpty) {
    Started h;
    h.dlg.setText(ctl::kComputerName, "Db-Server7");
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave)) << "typing a machine name enables nothing";
    h.ui.clear();
    h.dlg.click(ctl::kLoad);
    ASSERT_GE(h.ui.messages.size(), 2u);
    for (size_t i = 0; i + 1 < h.ui.messages.size(); ++i)
        EXPECT_EQ(h.ui.messages[i], (ShownMessage{"Remote WMI connection to Db-Server7 failed.",
                                                  "twntcfg Error", MessageKind::Error}));
    // Then, once, that no setting could be read.
    EXPECT_THAT(h.ui.messages.back().text,
                HasSubstr("These settings could not be read from Db-Server7: TWDISPLAY, TWPAGE"));
    EXPECT_EQ(h.dlg.UnreadSettings().size(), 27u);
    EXPECT_EQ(h.dlg.text(ctl::kComputerName), "Db-Server7");
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "");
    EXPECT_THAT(h.dlg.entries(ctl::kProcsPick), IsEmpty());
    EXPECT_FALSE(h.dlg.wmi().connected());
}

// A second machine, DB2, with settings and a service state of its own,
// reached by the name "\\\\DB2".
struct SecondMachine {
    explicit SecondMachine(testing::EditorHarness& h) {
        testing::writeFile(fixturePath, R"({
          "Win32_ComputerSystem": [{"Name": "DB2", "SystemType": "X86-based PC"}],
          "Win32_Service": [{"Name": "TallwatchClient",
            "DisplayName": "Tallwatch Professional Edition Client 5.01", "Started": false}]
        })");
        for (const auto& [name, text] : kCompleteSettings)
            store.setSetting(name, name == "AliasName" ? "Database" : text);
        provider = platform::makeFixtureWmiProvider(fixturePath, h.clock, store);
        h.provider.machines["DB2"] = provider.get();
    }
    testing::TempDir dir;
    std::string fixturePath = dir.file("db2.json");
    testing::MemorySettingsStore store;
    std::unique_ptr<platform::WmiProvider> provider;
};

// A machine name typed but not loaded used to take Save (the loaded
// machine's texts written onto the other one), the WMI test editor and the
// service button along.
TEST(CtwntcfgDlg, TypedMachineFix_EveryActionStaysOnTheLoadedMachineUntilLoad) {
    Started h;
    SecondMachine db2(h);
    auto& d = h.dlg;
    d.setText(ctl::kComputerName, "\\\\DB2");
    EXPECT_FALSE(d.enabled(ctl::kSave));
    d.setText(ctl::kAlias, "Shop Front");
    d.click(ctl::kSave);
    EXPECT_EQ(h.setting("AliasName"), "Shop Front");
    EXPECT_EQ(db2.store.setting("AliasName"), "Database");
    {
        ASSERT_EQ(d.click(ctl::kWmiTestConfig), ViewStep::OpenDialog);
        auto* tests = dynamic_cast<WMITestConfig*>(d.sub());
        ASSERT_TRUE(tests);
        ASSERT_EQ(tests->rows.size(), 1u) << "the loaded machine's WMI tests";
        tests->select(WMITestConfig::kList, 0);
        tests->click(WMITestConfig::kDelete);
        tests->click(WMITestConfig::kSave);
        d.closeSub();
    }
    EXPECT_EQ(h.setting("WMITests"), "");
    EXPECT_NE(db2.store.setting("WMITests").value_or(""), "");
    d.click(ctl::kService);  // "Stop Service": the loaded machine's agent runs
    EXPECT_EQ(d.text(ctl::kService), "Start Service");
    h.ui.files = {"/opt/a.sh"};
    h.ui.folders = {"/var/log"};
    EXPECT_TRUE(AddExternal(d, d.wmi()));
    EXPECT_TRUE(BrowseSaveLogLocation(d, d.wmi()));
    EXPECT_EQ(h.ui.filePickers, 1) << "this machine's pickers, not the remote lists";
    EXPECT_TRUE(h.ui.questions.empty());
    EXPECT_THAT(h.provider.servers, Not(Contains("DB2")));
    // LOAD hands the typed name over.
    h.ui.answers = {true};
    d.click(ctl::kLoad);
    EXPECT_EQ(d.text(ctl::kAlias), "Database");
    EXPECT_EQ(d.text(ctl::kService), "Start Service");
    EXPECT_EQ(d.LoadedSettings().machine, "\\\\DB2");
    EXPECT_THAT(h.provider.servers, Contains("DB2"));
    d.setText(ctl::kTimer, "120");
    d.click(ctl::kSave);
    EXPECT_EQ(db2.store.setting("Timer"), "120");
    EXPECT_EQ(h.setting("Timer"), "300");
}

// A partial load used to be saved back whole: every setting after the
// first failed read was written empty over its value.
TEST(CtwntcfgDlg, PartialLoadFix_UnreadSettingsAreToldOnceAndWrittenOnlyWhenChanged) {
    DialogHarness h;
    h.store.deleteKey(testing::kAgentKey + "MemLevels");
    h.start();
    auto& d = h.dlg;
    const std::vector<std::string> unread = d.UnreadSettings();
    ASSERT_EQ(unread.size(), 19u) << "MemLevels is not there; the ones after it were not read";
    EXPECT_EQ(unread.front(), "CPUrebootcolor");
    EXPECT_EQ(unread.back(), "tests");
    ASSERT_EQ(h.ui.messages.size(), 1u);
    EXPECT_EQ(h.ui.messages[0].caption, "twntcfg Error");
    EXPECT_THAT(h.ui.messages[0].text,
                HasSubstr("These settings could not be read from \\\\WEB1: CPUrebootcolor, "
                          "CPUrebootmins, StartDelay,"));
    EXPECT_THAT(h.ui.messages[0].text, Not(HasSubstr("MemLevels")));
    EXPECT_EQ(d.text(ctl::kTimer), "") << "the load stays as it is";
    // What the checks require, and one more change.
    for (const char* f : {ctl::kPhysWarning, ctl::kCommitWarning}) d.setText(f, "70");
    for (const char* f : {ctl::kPhysPanic, ctl::kCommitPanic}) d.setText(f, "80");
    d.setText(ctl::kRebootMins, "45");
    d.setText(ctl::kStartDelay, "3");
    d.setText(ctl::kUpDays, "30");
    d.setText(ctl::kAlias, "Shop Front");
    h.ui.clear();
    d.click(ctl::kSave);
    EXPECT_TRUE(h.ui.messages.empty()) << h.ui.texts()[0];
    EXPECT_FALSE(d.enabled(ctl::kSave));
    const std::pair<const char*, const char*> kept[] = {
        {"Timer", "300"},
        {"KeyCode", "secret phrase"},
        {"CPUrebootcolor", "Red"},
        {"Externals", "/opt/check.sh /INT=300"},
        {"Procs", "svchost:N:1 sqlservr:N:2"},
        {"Tests",
         "procs:T msgs:P cpu:T disk:P netprotl:G mem:P pagefile:P svcs:P netdata:T "
         "wmitest:P"}};
    for (const auto& [name, text] : kept) EXPECT_EQ(h.setting(name), text) << name;
    const std::pair<const char*, const char*> written[] = {{"AliasName", "Shop Front"},
                                                           {"MemLevels", "PHYS:70:80 COMMIT:70:80"},
                                                           {"CPUrebootmins", "45"},
                                                           {"CPUupdays", "30"}};
    for (const auto& [name, text] : written) EXPECT_EQ(h.setting(name), text) << name;
    EXPECT_THAT(d.UnreadSettings(), Not(Contains("CPUrebootmins")));
    EXPECT_THAT(d.UnreadSettings(), Contains("Timer"));
    // A mode click is a change of the tests text (shown from the default).
    d.click(ctl::kDisable);
    d.click(ctl::kSave);
    EXPECT_EQ(h.setting("Tests"),
              "procs:P msgs:P cpu:D disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D");
    EXPECT_EQ(h.setting("Timer"), "300");
}

TEST(CtwntcfgDlg, PartialLoadFix_ARemoteReadThatFailsMidwayIsNotWrittenBack) {
    Started h;
    h.provider.reachable.insert("DB2");
    h.store.deleteKey(testing::kAgentKey + "PageLevels");
    h.dlg.setText(ctl::kComputerName, "\\\\DB2");
    h.ui.clear();
    h.dlg.click(ctl::kLoad);
    EXPECT_TRUE(h.ui.messages.empty()) << "a setting that is not there is no failure";
    EXPECT_THAT(h.dlg.UnreadSettings(), IsEmpty());
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "300") << "a remote read goes on after a missing setting";
    // The channel breaks after the first eight reads.
    h.store.setSetting("PageLevels", "red");
    h.provider.calls.clear();
    h.provider.failAfter["GetStringValue"] = 8;
    h.ui.clear();
    h.dlg.click(ctl::kLoad);
    ASSERT_EQ(h.ui.messages.size(), 1u);
    EXPECT_EQ(h.dlg.UnreadSettings().size(), 19u);
    EXPECT_EQ(h.dlg.text(ctl::kAlias), "Front End #2");
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "");
    EXPECT_THAT(h.logLines(),
                Contains(HasSubstr("Timer could not be read from the remote machine")));
    h.provider.failAfter.clear();
    h.dlg.setText(ctl::kDisplayEntry, "mon9");
    h.dlg.click(ctl::kDisplayAdd);
    for (const char* f : {ctl::kRebootMins, ctl::kStartDelay, ctl::kUpDays}) h.dlg.setText(f, "2");
    h.ui.clear();
    h.dlg.click(ctl::kSave);
    EXPECT_TRUE(h.ui.messages.empty()) << h.ui.texts()[0];
    EXPECT_EQ(h.setting("TWDISPLAY"), "mon1.corp.lan;mon2.corp.lan:1985;mon9");
    EXPECT_EQ(h.setting("StartDelay"), "2");
    EXPECT_EQ(h.setting("Timer"), "300");
    EXPECT_EQ(h.setting("PageLevels"), "red");
    EXPECT_EQ(h.setting("KeyCode"), "secret phrase");
}

TEST(CtwntcfgDlg, DisabledControlsTakeNoEdits) {
    DialogHarness h;
    h.store.setSetting("Tests", "netdata:D");
    h.start();
    EXPECT_FALSE(h.dlg.setText(ctl::kNetIfs, "LAN 10Mbps:1:2:3:4"));
    h.dlg.select(ctl::kNetIfsPick, 0);
    EXPECT_EQ(h.dlg.text(ctl::kNetIfs), "eth0 1000Mbps:85:95:80:90");
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave));
}

// ---- saving, leaving, reloading ------------------------------------------------------------

// A write that failed used to disable Save as if everything was written.
TEST(CtwntcfgDlg, LostWriteFix_FailingWriteIsShownAndSaveStaysEnabled) {
    Started h;
    h.dlg.setText(ctl::kTimer, "120");
    h.provider.failMethods.insert("SetStringValue");
    h.store.setHealthy(false, "locked");
    h.provider.calls.clear();
    h.dlg.click(ctl::kSave);
    EXPECT_THAT(h.ui.texts(), ElementsAre("Can not save the setting: TWDISPLAY"));
    EXPECT_EQ(h.provider.calls["SetStringValue"], 1) << "the batch stops at the first failure";
    EXPECT_TRUE(h.dlg.enabled(ctl::kSave));
    EXPECT_FALSE(h.dlg.closed());
}

TEST(CtwntcfgDlg, QuitAsksOnlyWithUnsavedChanges) {
    {
        Started h;
        EXPECT_EQ(h.dlg.escape(), std::nullopt) << "Escape closes nothing";
        EXPECT_EQ(h.dlg.click(ctl::kQuit), ViewStep::CloseOk);
        EXPECT_TRUE(h.ui.questions.empty());
        EXPECT_TRUE(h.dlg.closed());
        EXPECT_FALSE(h.dlg.wmi().connected());
    }
    Started h;
    h.dlg.setChecked(ctl::kFqdn, true);
    h.ui.answers = {false, true};
    EXPECT_EQ(h.dlg.closeBox(), ViewStep::None) << "the close box asks as Quit does";
    EXPECT_FALSE(h.dlg.closed());
    EXPECT_THAT(h.ui.questions,
                ElementsAre(ShownMessage{"Continue without saving?", "Changes not saved",
                                         MessageKind::Information}));
    EXPECT_EQ(h.dlg.click(ctl::kQuit), ViewStep::CloseOk);
    EXPECT_TRUE(h.dlg.closed());
}

TEST(CtwntcfgDlg, DialogStartLoadsUnderTheWaitCursor) {
    DialogHarness h;
    h.start();
    EXPECT_EQ(h.ui.waits, 1);
    EXPECT_EQ(h.ui.waitDepth, 0);
}

TEST(CtwntcfgDlg, LoadWithUnsavedChangesReloadsOnlyOnYes) {
    Started h;
    h.ui.waits = 0;
    h.dlg.setText(ctl::kTimer, "120");
    h.ui.answers = {false};
    h.dlg.click(ctl::kLoad);
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "120");
    EXPECT_TRUE(h.dlg.enabled(ctl::kSave));
    h.ui.answers = {true};
    h.dlg.click(ctl::kLoad);
    EXPECT_EQ(h.dlg.text(ctl::kTimer), "300");
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave));
    EXPECT_EQ(h.ui.questions.size(), 2u);
    EXPECT_EQ(h.ui.waitDepth, 0);
    EXPECT_EQ(h.ui.waits, 2);
}

TEST(CtwntcfgDlg, EditsThatEnableSave) {
    using Edit = std::function<void(CtwntcfgDlg&)>;
    const std::pair<const char*, Edit> enabling[] = {
        {"text field", [](CtwntcfgDlg& d) { d.setText(ctl::kAlias, "x"); }},
        {"percent field", [](CtwntcfgDlg& d) { d.setText(ctl::kCpuWarning, "7"); }},
        {"check box", [](CtwntcfgDlg& d) { d.setChecked(ctl::kActivateLog, true); }},
        {"colour", [](CtwntcfgDlg& d) { d.select(ctl::kUpDaysColor, 1); }},
        {"host Add",
         [](CtwntcfgDlg& d) {
             d.setText(ctl::kPagerEntry, "new");
             d.click(ctl::kPagerAdd);
         }},
        {"host Del", [](CtwntcfgDlg& d) { d.click(ctl::kDisplayDel); }},
        {"pick list", [](CtwntcfgDlg& d) { d.select(ctl::kProcsPick, 0); }},
        {"mode button", [](CtwntcfgDlg& d) { d.click(ctl::kDisable); }},
        {"WMI Test Config", [](CtwntcfgDlg& d) { d.click(ctl::kWmiTestConfig); }},
    };
    for (const auto& [what, edit] : enabling) {
        Started h;
        edit(h.dlg);
        EXPECT_TRUE(h.dlg.enabled(ctl::kSave)) << what;
    }
    const std::pair<const char*, Edit> neutral[] = {
        {"machine name", [](CtwntcfgDlg& d) { d.setText(ctl::kComputerName, "other"); }},
        {"host entry", [](CtwntcfgDlg& d) { d.setText(ctl::kDisplayEntry, "x"); }},
        {"host selection", [](CtwntcfgDlg& d) { d.select(ctl::kDisplayHosts, 1); }},
        {"same text", [](CtwntcfgDlg& d) { d.setText(ctl::kTimer, "300"); }},
        {"refused text", [](CtwntcfgDlg& d) { d.setText(ctl::kTimer, "3x"); }},
    };
    for (const auto& [what, edit] : neutral) {
        Started h;
        edit(h.dlg);
        EXPECT_FALSE(h.dlg.enabled(ctl::kSave)) << what;
    }
}

TEST(CtwntcfgDlg, FieldRulesRefuseWhatTheFieldDoesNotTake) {
    Started h;
    auto& d = h.dlg;
    const struct {
        const char* control;
        std::string text;
        bool taken;
    } cases[] = {
        {ctl::kCpuWarning, "100", true},
        {ctl::kCpuWarning, "1000", false},
        {ctl::kCpuWarning, "9a", false},
        {ctl::kCpuWarning, "", true},
        {ctl::kTimer, "86400", true},
        {ctl::kTimer, "5m", false},
        {ctl::kIpPort, "-1", false},
        {ctl::kLogsTimer, " 60", false},
        {ctl::kKeyCode, std::string(255, 'k'), true},
        {ctl::kKeyCode, std::string(256, 'k'), false},
        {ctl::kAlias, "any text: at all", true},
        {ctl::kLoad, "x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(d.setText(c.control, c.text), c.taken) << c.control << " <" << c.text << ">";
}

TEST(CtwntcfgDlg, TheLogoOpensTheMakersWebAddress) {
    Started h;
    EXPECT_TRUE(h.dlg.click(ctl::kLogo));
    EXPECT_THAT(h.ui.opened, ElementsAre(kWebAddress));
    // "Add External" is an action of the model too: it asks for the program.
    EXPECT_TRUE(h.dlg.click(ctl::kAddExternal));
    EXPECT_EQ(h.ui.filePickers, 1);
    EXPECT_FALSE(h.dlg.click("No such button"));
}

}  // namespace
}  // namespace tw::editor
