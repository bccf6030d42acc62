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

struct Started : DialogHarness {
    explicit Started(bool complete = true, const std::string& fixture = testing::kEditorFixture)
        : DialogHarness(complete, fixture) {
        start();
    }
};

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

TEST(CtwntcfgDlg, WithoutWmiTheProgramEndsWithExitCodeOne) {
    DialogHarness h;
    h.p.wmi = nullptr;
    CtwntcfgDlg dlg(h.p, h.log, h.ui);
    EXPECT_EQ(dlg.OnInitDialog(), 1);
    EXPECT_THAT(h.ui.messages, ElementsAre(ShownMessage{"Can not initialize WMI, exit",
                                                        "twntcfg Error", MessageKind::Error}));
    EXPECT_THAT(h.logLines(), Contains("OnInitDialog::Can not initialize WMI, exit"));
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
        WMITestConfig tests(d);
        ASSERT_EQ(tests.rows.size(), 1u) << "the loaded machine's WMI tests";
        tests.selected = 0;
        tests.remove();
        tests.save();
    }
    EXPECT_EQ(h.setting("WMITests"), "");
    EXPECT_NE(db2.store.setting("WMITests").value_or(""), "");
    d.click(ctl::kService);  // "Stop Service": the loaded machine's agent runs
    EXPECT_EQ(d.text(ctl::kService), "Start Service");
    h.ui.files = {"/opt/a.sh"};
    h.ui.folders = {"/var/log"};
    EXPECT_TRUE(AddExternal(d));
    EXPECT_TRUE(BrowseSaveLogLocation(d));
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

TEST(CtwntcfgDlg, MemLevelsLoadInEitherOrderAndSaveAsPhysThenCommit) {
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

TEST(CtwntcfgDlg, ColourChoicesSelectTheirWordIgnoringCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "Yellow"}, {"green", "Green"}, {"RED", "Red"}, {"R", "Red"}, {"Blue", ""}};
    for (const auto& [stored, shown] : cases) {
        DialogHarness h;
        h.store.setSetting("CPUrebootcolor", stored);
        h.start();
        EXPECT_EQ(h.dlg.selectedText(ctl::kRebootColor), shown) << stored;
    }
}

// ---- tests mode ---------------------------------------------------------------------

TEST(CtwntcfgDlg, EmptyTestsIsSavedBackAsTheDefaultText) {
    DialogHarness h;
    h.store.setSetting("Tests", "");
    h.start();
    h.dlg.SaveSettings();
    EXPECT_EQ(h.setting("Tests"), kDefaultTests);
}

TEST(CtwntcfgDlg, ModeButtonsFollowTheStoredTestsAndRewriteAllTen) {
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

TEST(CtwntcfgDlg, ATestOutsideTheTenIsLostAtTheNextModeClick) {
    DialogHarness h;
    h.store.setSetting("Tests", "foo:P cpu:G");
    h.start();
    EXPECT_TRUE(h.dlg.checked(ctl::kAlwaysGreen));
    h.dlg.click(ctl::kPerform);
    EXPECT_EQ(h.dlg.LoadedSettings().text[kTests],
              "procs:D msgs:D cpu:P disk:D netprotl:D mem:D pagefile:D svcs:D netdata:D "
              "wmitest:D");
}

TEST(CtwntcfgDlg, EachTestsModeEnablesOrDisablesItsFields) {
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

TEST(CtwntcfgDlg, AModeLetterOutsidePtgdChangesNoFieldAndShowsPerform) {
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

TEST(CtwntcfgDlg, DisabledControlsTakeNoEdits) {
    DialogHarness h;
    h.store.setSetting("Tests", "netdata:D");
    h.start();
    EXPECT_FALSE(h.dlg.setText(ctl::kNetIfs, "LAN 10Mbps:1:2:3:4"));
    h.dlg.select(ctl::kNetIfsPick, 0);
    EXPECT_EQ(h.dlg.text(ctl::kNetIfs), "eth0 1000Mbps:85:95:80:90");
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave));
}

// ---- host lists ----------------------------------------------------------------------

TEST(CtwntcfgDlg, HostListAddUsesThePrefixSearchAndKeepsTheListSorted) {
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

TEST(CtwntcfgDlg, HostListDelRemovesTheSelectedEntryAndSelectsTheFirst) {
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

TEST(CtwntcfgDlg, HostListsLoadEveryPieceSorted) {
    DialogHarness h;
    h.store.setSetting("TWDISPLAY", "b;;A");
    h.start();
    EXPECT_THAT(h.dlg.entries(ctl::kDisplayHosts), ElementsAre("", "A", "b"));
}

// ---- pick lists ------------------------------------------------------------------------

TEST(CtwntcfgDlg, PickListsAreFilledWithTheirEntryTexts) {
    Started h;
    auto& d = h.dlg;
    EXPECT_THAT(d.entries(ctl::kProcsPick), ElementsAre(".exe", "Idle", "sqlservr", "svchost"));
    EXPECT_THAT(d.entries(ctl::kDrivesPick),
                ElementsAre("A: 3 1/2 Inch Floppy Drive", "C: Local Fixed Disk", "Z: "));
    EXPECT_THAT(d.entries(ctl::kServicesPick),
                ElementsAre("Print Spooler", "Tallwatch Professional Edition Client 5.01"));
    EXPECT_THAT(d.entries(ctl::kNetIfsPick), ElementsAre("eth0 1000Mbps", "lo 10Mbps"));
}

struct PickCase {
    const char* list;
    const char* field;
    const char* entry;
    const char* before;
    const char* after;
};

void PrintTo(const PickCase& c, std::ostream* os) {
    *os << c.entry << " onto <" << c.before << ">";
}

class PickList : public ::testing::TestWithParam<PickCase> {};

TEST_P(PickList, ChoosingAnEntryPutsItInFrontOnce) {
    const auto& c = GetParam();
    Started h(false);
    auto& d = h.dlg;
    d.click(ctl::kPerform);  // a loaded cpu:P; the fields below belong to enabled tests
    for (const char* t : {"disk", "netdata", "procs", "svcs"}) {
        const auto& names = d.entries(ctl::kSetTest);
        d.select(ctl::kSetTest,
                 static_cast<int>(std::find(names.begin(), names.end(), t) - names.begin()));
        d.click(ctl::kPerform);
    }
    d.setText(ctl::kDrivesWarning, "90");
    d.setText(ctl::kDrivesPanic, "95");
    d.setText(c.field, c.before);
    const auto& entries = d.entries(c.list);
    int index = static_cast<int>(std::find(entries.begin(), entries.end(), std::string(c.entry)) -
                                 entries.begin());
    ASSERT_LT(index, static_cast<int>(entries.size())) << c.entry;
    d.select(c.list, index);
    EXPECT_EQ(d.text(c.field), c.after);
    d.select(c.list, -1);
    d.select(c.list, index);
    EXPECT_EQ(d.text(c.field), c.after) << "a second choice changes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PickList,
    ::testing::Values(
        PickCase{ctl::kDrivesPick, ctl::kDrives, "C: Local Fixed Disk", "", "C:90:95:R "},
        PickCase{ctl::kDrivesPick, ctl::kDrives, "A: 3 1/2 Inch Floppy Drive", "C:90:95:R ",
                 "A:90:95:R C:90:95:R "},
        PickCase{ctl::kProcsPick, ctl::kProcs, "svchost", "", "svchost:N:1 "},
        PickCase{ctl::kProcsPick, ctl::kProcs, "Idle", "svchost:N:1 ", "Idle:N:1 svchost:N:1 "},
        PickCase{ctl::kServicesPick, ctl::kServices, "Print Spooler", "", "Print Spooler:R:R:N"},
        PickCase{ctl::kServicesPick, ctl::kServices, "Print Spooler", "W32Time:R:R:N",
                 "Print Spooler:R:R:N;W32Time:R:R:N"},
        PickCase{ctl::kNetIfsPick, ctl::kNetIfs, "eth0 1000Mbps", "", "eth0 1000Mbps:85:95:80:90"},
        PickCase{ctl::kNetIfsPick, ctl::kNetIfs, "lo 10Mbps", "eth0 1000Mbps:85:95:80:90",
                 "lo 10Mbps:85:95:80:90;eth0 1000Mbps:85:95:80:90"}));

TEST(CtwntcfgDlg, PickListsStayEmptyWhenTheirQueryFails) {
    Started h(true, R"({"Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86"}],
                       "Win32_Service": []})");
    for (const char* list :
         {ctl::kProcsPick, ctl::kDrivesPick, ctl::kServicesPick, ctl::kNetIfsPick})
        EXPECT_THAT(h.dlg.entries(list), IsEmpty()) << list;
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

TEST(CtwntcfgDlg, EqualWarningAndPanicFiguresPass) {
    Started h;
    h.dlg.setText(ctl::kCpuWarning, "90");
    h.dlg.setText(ctl::kCpuPanic, "90");
    h.dlg.click(ctl::kSave);
    EXPECT_TRUE(h.ui.messages.empty());
    EXPECT_FALSE(h.dlg.enabled(ctl::kSave));
    EXPECT_EQ(h.setting("Defaults"), "CPU:90:90 DISK:90:95 PAGEFILE:70:80");
}

struct NetIfCase {
    const char* text;
    const char* message;  // nullptr: valid
};

void PrintTo(const NetIfCase& c, std::ostream* os) {
    *os << c.text;
}

class NetworkInterfaces : public ::testing::TestWithParam<NetIfCase> {};

TEST_P(NetworkInterfaces, AreCheckedEntryByEntry) {
    const auto& c = GetParam();
    Started h;
    h.dlg.setText(ctl::kNetIfs, c.text);
    h.dlg.focusLost(ctl::kNetIfs);
    if (!c.message) {
        EXPECT_TRUE(h.ui.messages.empty()) << h.ui.texts()[0];
        EXPECT_TRUE(h.ui.focus.empty());
    } else {
        EXPECT_THAT(h.ui.messages,
                    ElementsAre(ShownMessage{c.message, "twntcfg Error", MessageKind::Error}));
        EXPECT_THAT(h.ui.focus, ElementsAre(ctl::kNetIfs)) << "the focus returns";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetworkInterfaces,
    ::testing::Values(
        NetIfCase{"", nullptr}, NetIfCase{"LAN 100Mbps:85:95:80:90", nullptr},
        NetIfCase{"LAN 100mbps:0:1:0:1", nullptr},
        NetIfCase{"LAN 100Mbps:95:85:80:90", "thresholds error in network interface definition"},
        NetIfCase{"LAN 100:85:95:80:90", "Mbps missing in network interface definition"},
        NetIfCase{"LAN 100Mbps:85:95:80:90;LAN 100:85:95:80:90",
                  "Mbps missing in network interface definition"},
        NetIfCase{"LAN 100Mbps:85:95:80:90;WAN 2Mbps:1:2:9:3",
                  "thresholds error in network interface definition"},
        NetIfCase{"LAN 100Mbps:85:95:80", "thresholds error in network interface definition"},
        NetIfCase{"LAN 100Mbps:85:95:90:90", "thresholds error in network interface definition"},
        NetIfCase{"LAN 100Mbps:-5:95:80:90", "thresholds error in network interface definition"},
        NetIfCase{"LAN100Mbps:85:95:80:90", nullptr}));

// When the focus left "Network IFs" for "Save", the focus check showed its
// message under Save's own message of the same text.
TEST(CtwntcfgDlg, DoubleMessageFix_FocusLeavingForSaveShowsTheNetworkMessageOnce) {
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
        h.dlg.click(ctl::kQuit);
        EXPECT_TRUE(h.ui.questions.empty());
        EXPECT_TRUE(h.dlg.closed());
        EXPECT_FALSE(h.dlg.wmi().connected());
    }
    Started h;
    h.dlg.setChecked(ctl::kFqdn, true);
    h.ui.answers = {false, true};
    h.dlg.click(ctl::kQuit);
    EXPECT_FALSE(h.dlg.closed());
    EXPECT_THAT(h.ui.questions,
                ElementsAre(ShownMessage{"Continue without saving?", "Changes not saved",
                                         MessageKind::Information}));
    h.dlg.click(ctl::kQuit);
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
    EXPECT_FALSE(h.dlg.click(ctl::kAddExternal)) << "served by the remote-selection helpers";
    EXPECT_FALSE(h.dlg.click("No such button"));
}

}  // namespace
}  // namespace tw::editor
