#include "editor/wmicontext.h"

#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using ::testing::Contains;
using testing::EditorHarness;
using ::testing::ElementsAre;
using testing::kAgentKey;
using ::testing::Not;
using testing::ShownMessage;

const std::string kKey32 = "SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";
const std::string kKey64 = "SOFTWARE\\Wow6432Node\\Orvane Software\\Tallwatch\\twnt\\";

const char* k64BitFixture = R"({
  "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "x64-based PC"}]
})";

struct Started : EditorHarness {
    explicit Started(const std::string& fixture = testing::kEditorFixture)
        : EditorHarness(fixture) {
        wmi.start();
    }
};

TEST(WmiContext, ConnectsToThisMachineAndLearnsItsSystemType) {
    Started h;
    h.wmi.ConnectWMIDB(kRootCimv2);
    EXPECT_TRUE(h.wmi.connected());
    EXPECT_EQ(h.wmi.systemType(), "X86-based PC");
    EXPECT_FALSE(h.wmi.is64Bit());
    EXPECT_EQ(h.wmi.keyPath(), kKey32);
    EXPECT_THAT(h.logLines(),
                ElementsAre("ConnectWMIDB::enter.", "ConnectWMIDB::Local WMI connection success."));
    EXPECT_EQ(h.provider.servers, std::vector<std::string>{""});
}

TEST(WmiContext, LocalConnectionFailureIsShownAndClearsTheConnectedFlag) {
    Started h;
    h.wmi.ConnectWMIDB(kRootDefault);
    ASSERT_TRUE(h.wmi.connected());
    h.provider.refuse.insert("ROOT\\DEFAULT");
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_FALSE(h.wmi.connected());
    EXPECT_EQ(h.wmi.connection(), nullptr);
    EXPECT_THAT(h.ui.messages, ElementsAre(ShownMessage{"Local WMI connection failed.",
                                                        "twntcfg Error", MessageKind::Error}));
    EXPECT_THAT(h.logLines(), Contains("ConnectWMIDB::Local WMI connection failed."));
}

TEST(WmiContext, RemoteMachineThatRefusesIsNamedExactlyAsTyped) {
    Started h;
    h.wmi.setMachineField("\\\\Db-Server7");
    h.wmi.ConnectWMIDB(kRootCimv2);
    EXPECT_FALSE(h.wmi.connected());
    EXPECT_THAT(h.ui.texts(), ElementsAre("Remote WMI connection to \\\\Db-Server7 failed."));
    EXPECT_EQ(h.ui.messages[0].caption, "twntcfg Error");
    EXPECT_THAT(h.logLines(), Contains("ConnectWMIDB::remote WMI connection failed."));
    // The provider is asked for the machine without its leading backslashes.
    EXPECT_THAT(h.provider.servers, Contains("Db-Server7"));
}

TEST(WmiContext, TheLocalMachineNameTypedInTheFieldIsThisMachine) {
    Started h;
    EXPECT_EQ(h.wmi.localMachineName(), "\\\\WEB1");
    for (const char* field : {"", "  ", "\\\\WEB1"}) {
        h.wmi.setMachineField(field);
        EXPECT_TRUE(h.wmi.targetIsLocal()) << field;
        EXPECT_EQ(h.wmi.targetMachineName(), *field == '\\' ? field : "\\\\WEB1");
    }
    // The comparison is exact: another spelling is a remote machine.
    h.wmi.setMachineField("\\\\web1");
    EXPECT_FALSE(h.wmi.targetIsLocal());
    EXPECT_EQ(h.wmi.targetMachineName(), "\\\\web1");
}

TEST(WmiContext, ReadLogsEveryStepAndTheValue) {
    Started h;
    h.store.setSetting("Timer", "300");
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "300");
    EXPECT_THAT(
        h.logLines(),
        ElementsAre("ConnectWMIDB::enter.", "ConnectWMIDB::Local WMI connection success.",
                    "ReadRegKey::enter.", "ReadRegKey::32 bit",
                    "wmireadregistry enter: " + kKey32 + "Timer", "wmireadregistry:ExecMethod",
                    "wmireadregistry:success. Errcode: 0", "ReadRegKey::" + kKey32 + "Timer:300"));
}

TEST(WmiContext, KeyCodeIsLoggedAsAsterisksNeverInClear) {
    Started h;
    h.store.setSetting("KeyCode", "my secret phrase");
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_EQ(h.wmi.ReadRegKey("KeyCode"), "my secret phrase");
    EXPECT_THAT(h.logLines(), Contains("ReadRegKey::" + kKey32 + "KeyCode:****************"));
    for (const auto& line : h.logLines()) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

TEST(WmiContext, MissingLocalSettingFailsAtOpeningTheKeyAndClearsTheSuccessFlag) {
    Started h;
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "");
    EXPECT_FALSE(h.wmi.success());
    auto lines = h.logLines();
    EXPECT_THAT(lines, Contains("wmireadregistry:failed"));
    EXPECT_THAT(lines, Contains("ReadRegKey::failed on wmi, try RegOpenKeyEx"));
    EXPECT_THAT(lines, Contains("ReadRegKey::failed at " + kKey32 + "Timer (RegOpenKeyEx)"));
    EXPECT_TRUE(h.ui.messages.empty()) << "reads fail silently";
}

TEST(WmiContext, LocalReadFallsBackToTheSettingsStoreWhenWmiFails) {
    Started h;
    h.store.setSetting("Timer", "300");
    h.provider.failMethods.insert("GetStringValue");
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "300");
    EXPECT_TRUE(h.wmi.success());
    EXPECT_THAT(h.logLines(), Contains("wmireadregistry:failed at ExecMethod. Errcode: 80041001"));
}

TEST(WmiContext, LocalKeyWithoutAReadableValueFailsAtQueryingIt) {
    Started h;
    h.store.createKey(kAgentKey + "Timer");
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "");
    EXPECT_FALSE(h.wmi.success());
    EXPECT_THAT(h.logLines(),
                Contains("ReadRegKey::failed at " + kKey32 + "Timer (RegQueryValueEx)"));
}

TEST(WmiContext, MissingSettingOnARemoteMachineReadsEmptyAndKeepsTheSuccessFlag) {
    Started h;
    h.provider.reachable.insert("FILESRV");
    h.wmi.setMachineField("\\\\FILESRV");
    h.wmi.ConnectWMIDB(kRootDefault);
    ASSERT_TRUE(h.wmi.connected());
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "");
    EXPECT_TRUE(h.wmi.success());
    EXPECT_THAT(h.logLines(), Not(Contains(::testing::HasSubstr("RegOpenKeyEx)"))));
}

// A read that could not be asked used to look like an empty setting, and
// the next save wrote the empty text over the value.
TEST(WmiContext, PartialLoadFix_RemoteReadTellsNotFoundFromCouldNotAsk) {
    const struct {
        const char* what;
        std::function<void(EditorHarness&)> setup;
        ReadStatus status;
        const char* logged;  // nullptr: the read succeeded
    } cases[] = {
        {"read", [](EditorHarness&) {}, ReadStatus::Read, nullptr},
        {"missing", [](EditorHarness& h) { h.store.deleteKey(kAgentKey + "Timer"); },
         ReadStatus::NotFound, "not found on the remote machine"},
        {"method failed", [](EditorHarness& h) { h.provider.failMethods.insert("GetStringValue"); },
         ReadStatus::Failed, "could not be read from the remote machine"},
        {"refused answer", [](EditorHarness& h) { h.provider.returnValues["GetStringValue"] = 5; },
         ReadStatus::Failed, "could not be read from the remote machine"},
        {"settings store unreadable", [](EditorHarness& h) { h.store.setHealthy(false, "locked"); },
         ReadStatus::Failed, "could not be read from the remote machine"},
        {"no connection", [](EditorHarness& h) { h.provider.refuse.insert("ROOT\\DEFAULT"); },
         ReadStatus::Failed, "could not be read from the remote machine"},
    };
    for (const auto& c : cases) {
        Started h;
        h.store.setSetting("Timer", "300");
        h.provider.reachable.insert("FILESRV");
        h.wmi.setMachineField("\\\\FILESRV");
        c.setup(h);
        h.wmi.ConnectWMIDB(kRootDefault);
        EXPECT_EQ(h.wmi.ReadRegKey("Timer"), c.status == ReadStatus::Read ? "300" : "") << c.what;
        EXPECT_EQ(h.wmi.lastRead(), c.status) << c.what;
        EXPECT_TRUE(h.wmi.success()) << c.what << ": a remote read never stops the batch";
        if (c.logged) {
            EXPECT_THAT(h.logLines(), Contains("ReadRegKey::" + kKey32 + "Timer " + c.logged))
                << c.what;
        }
    }
    // This machine: a missing setting is not there; a settings store that
    // cannot be read is a setting that could not be read.
    Started h;
    h.wmi.ConnectWMIDB(kRootDefault);
    h.wmi.ReadRegKey("Timer");
    EXPECT_EQ(h.wmi.lastRead(), ReadStatus::NotFound);
    h.store.setSetting("Timer", "300");
    h.store.setHealthy(false, "locked");
    h.wmi.ReadRegKey("Timer");
    EXPECT_EQ(h.wmi.lastRead(), ReadStatus::Failed);
}

TEST(WmiContext, SixtyFourBitTargetUsesWow6432NodeAlsoInTheLocalFallback) {
    Started h(k64BitFixture);
    h.wmi.ConnectWMIDB(kRootCimv2);
    ASSERT_TRUE(h.wmi.is64Bit());
    h.wmi.ConnectWMIDB(kRootDefault);
    h.store.setSetting("Timer", "120");
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "120");
    EXPECT_THAT(h.logLines(), Contains("ReadRegKey::64 bit"));
    EXPECT_THAT(h.logLines(), Contains("ReadRegKey::" + kKey64 + "Timer:120"));
    // With WMI failing, the fallback opens the same 64-bit path.
    h.provider.failMethods = {"GetStringValue", "SetStringValue"};
    EXPECT_EQ(h.wmi.ReadRegKey("Missing"), "");
    EXPECT_THAT(h.logLines(),
                Contains("ReadRegKey::failed at " + kKey64 + "Missing (RegOpenKeyEx)"));
    EXPECT_TRUE(h.wmi.WriteRegKey("Timer", "60"));
    EXPECT_THAT(h.logLines(), Contains("WriteRegKey::64 bit"));
    EXPECT_EQ(h.setting("Timer"), "60");
}

// The registry provider answers ReturnValue 2 and writes nothing when the
// setting's key is missing; counting only the call's execution lost the write.
TEST(WmiContext, LostWriteFix_MissingLocalKeyIsCreatedByTheFallback) {
    Started h;
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_TRUE(h.wmi.WriteRegKey("Timer", "60"));
    EXPECT_EQ(h.setting("Timer"), "60");
    EXPECT_TRUE(h.wmi.success());
    EXPECT_THAT(h.logLines(), Contains("wmiwriteregistry:failed. ReturnValue: 2"));
    EXPECT_THAT(h.logLines(), Contains("WriteRegKey::failed on wmi, try CRegKey "));
    EXPECT_TRUE(h.ui.messages.empty());
}

TEST(WmiContext, LostWriteFix_MissingRemoteKeyIsCreatedThroughStdRegProvThenWritten) {
    Started h;
    h.provider.reachable.insert("FILESRV");
    h.wmi.setMachineField("\\\\FILESRV");
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_TRUE(h.wmi.WriteRegKey("tests", "cpu:T"));
    EXPECT_EQ(h.setting("Tests"), "cpu:T");
    EXPECT_EQ(h.provider.calls["CreateKey"], 1);
    EXPECT_EQ(h.provider.calls["SetStringValue"], 2);
    EXPECT_TRUE(h.wmi.success());
}

struct WriteFailure {
    const char* what;
    bool remote;
    std::set<std::string> failMethods;
    bool storeHealthy;
    const char* logLine;  // with %s for the full key
};

void PrintTo(const WriteFailure& c, std::ostream* os) {
    *os << c.what;
}

class WmiContextWriteFailure : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(WmiContextWriteFailure, LostWriteFix_IsShownNamingTheSettingAndStopsTheBatch) {
    const WriteFailure& c = GetParam();
    Started h;
    if (c.remote) {
        h.provider.reachable.insert("FILESRV");
        h.wmi.setMachineField("\\\\FILESRV");
    }
    h.wmi.ConnectWMIDB(kRootDefault);
    h.provider.failMethods = c.failMethods;
    h.store.setHealthy(c.storeHealthy, "store broken");
    EXPECT_FALSE(h.wmi.WriteRegKey("Procs", "x:N:1"));
    EXPECT_FALSE(h.wmi.success());
    EXPECT_THAT(h.ui.messages, ElementsAre(ShownMessage{"Can not save the setting: Procs",
                                                        "twntcfg Error", MessageKind::Error}));
    char line[300];
    std::snprintf(line, sizeof line, c.logLine, (kKey32 + "Procs").c_str());
    EXPECT_THAT(h.logLines(), Contains(std::string(line)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WmiContextWriteFailure,
    ::testing::Values(WriteFailure{"local store refuses",
                                   false,
                                   {"SetStringValue"},
                                   false,
                                   "WriteRegKey::failed at %s (RegCreateKeyEx)"},
                      WriteFailure{"remote cannot create",
                                   true,
                                   {"CreateKey"},
                                   true,
                                   "WriteRegKey::failed at %s (CreateKey)"},
                      WriteFailure{"remote write fails",
                                   true,
                                   {"SetStringValue"},
                                   true,
                                   "WriteRegKey::failed at %s (CreateKey)"}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

TEST(WmiContext, ReadWithNonZeroReturnValueCountsAsFailure) {
    Started h;
    h.store.setSetting("Timer", "300");
    h.wmi.ConnectWMIDB(kRootDefault);
    h.provider.returnValues["GetStringValue"] = 5;
    // The WMI answer is refused; the local fallback still reads the value.
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "300");
    EXPECT_THAT(h.logLines(), Contains("ReadRegKey::failed on wmi, try RegOpenKeyEx"));
}

TEST(WmiContext, WithoutAConnectionLocalWorkGoesToTheSettingsStore) {
    Started h;
    h.store.setSetting("Timer", "300");
    h.provider.refuse.insert("ROOT\\DEFAULT");
    h.wmi.ConnectWMIDB(kRootDefault);
    EXPECT_EQ(h.wmi.ReadRegKey("Timer"), "300");
    EXPECT_TRUE(h.wmi.WriteRegKey("Timer", "30"));
    EXPECT_EQ(h.setting("Timer"), "30");
    EXPECT_THAT(h.logLines(), Contains("wmireadregistry:failed at GetObject. Errcode: 80041001"));
}

TEST(WmiContext, QueriesAnswerWhyTheyFailed) {
    Started h;
    int seen = 0;
    auto count = [&](const platform::WmiObject&) { return ++seen < 2; };
    EXPECT_EQ(h.wmi.forEachObject("SELECT Name FROM Win32_Service", count),
              QueryStatus::NotConnected);
    h.wmi.ConnectWMIDB(kRootCimv2);
    EXPECT_EQ(h.wmi.forEachObject("SELECT Name FROM Win32_NoSuchClass", count),
              QueryStatus::QueryFailed);
    EXPECT_EQ(h.wmi.forEachObject("SELECT Name FROM Win32_Service", count), QueryStatus::Done);
    EXPECT_EQ(seen, 2) << "the visitor stops the walk";
}

TEST(WmiContext, NothingIsLoggedWhileTheWmiFlagIsOff) {
    EditorHarness h;
    editor::EditorLog quiet(h.files, "quiet.log");
    WmiContext wmi(h.provider, h.store, quiet, h.ui);
    wmi.start();
    wmi.ConnectWMIDB(kRootDefault);
    wmi.ReadRegKey("Timer");
    EXPECT_EQ(h.files.files.count("quiet.log"), 0u);
}

}  // namespace
}  // namespace tw::editor
