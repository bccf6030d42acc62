// The editor's two ways to the agent's settings on this machine, under
// Wine: WMI's registry provider (on 64-bit Windows with the 64-bit provider
// context) and the registry fallback, both under the key path that the
// target's system type chooses (Wow6432Node on 64-bit Windows), meet what
// the 32-bit agent wrote with -install; and what the editor writes is where
// the agent reads. Run in a 32-bit and in a 64-bit Wine prefix by
// scripts/windows-editor-test.sh (TW_WINEARCH).
#include <string>

#include "editor/editorlog.h"
#include "editor/wmicontext.h"
#include "platform/platform.h"
#include "test/support/editor_dialogs.h"
#include "test/support/scripted_ui.h"

namespace tw::testing {
namespace {

constexpr char kAgentKey[] = "SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";

// A setting as the agent sees it (the registry's 32-bit view).
std::optional<std::string> agentSetting(const std::string& name) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kAgentKey + name).c_str(), 0,
                      KEY_QUERY_VALUE | KEY_WOW64_32KEY, &k) != ERROR_SUCCESS)
        return std::nullopt;
    char buf[1024] = {};
    DWORD size = sizeof buf - 1;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return std::string(buf);
}

TEST(EditorRegistryPaths, WmiAndTheFallbackMeetTheAgentsSettings) {
    ASSERT_FALSE(env("TWNTCFG_TEST_PORT").empty()) << "run through scripts/windows-editor-test.sh";
    auto host = platform::makeHostPlatform();
    ScriptedUi ui;
    editor::EditorLog log(host->get().files);  // not started: writes nothing
    editor::WmiContext wmi(host->get().wmi, host->get().settings, log, ui);
    wmi.start();
    wmi.ConnectWMIDB(editor::kRootCimv2);
    ASSERT_TRUE(wmi.connected()) << ::testing::PrintToString(ui.texts());
    EXPECT_EQ(wmi.is64Bit(), on64BitWindows()) << wmi.systemType();
    EXPECT_STREQ(wmi.keyPath(), on64BitWindows() ? editor::kKeyPath64 : editor::kKeyPath32);

    // Through WMI.
    wmi.ConnectWMIDB(editor::kRootDefault);
    ASSERT_TRUE(wmi.connected());
    EXPECT_EQ(wmi.ReadRegKey("IPPort"), env("TWNTCFG_TEST_PORT"));
    EXPECT_TRUE(wmi.success());
    EXPECT_EQ(agentSetting("IPport"), env("TWNTCFG_TEST_PORT"));
    // The fallback: this machine's registry under the same key path.
    const std::string full = std::string("HKEY_LOCAL_MACHINE\\") + wmi.keyPath();
    auto direct = host->get().settings.getValue(full + "IPPort", "");
    ASSERT_TRUE(direct) << host->get().settings.lastError();
    EXPECT_EQ(direct->data, env("TWNTCFG_TEST_PORT"));

    // Written by the editor through WMI and through the fallback, read by the
    // agent.
    ASSERT_TRUE(wmi.WriteRegKey("EditorPathTest", "through WMI"));
    EXPECT_EQ(agentSetting("EditorPathTest"), "through WMI");
    ASSERT_TRUE(host->get().settings.setValue(full + "EditorPathTest", "",
                                              platform::RegValue::sz("directly")));
    EXPECT_EQ(agentSetting("EditorPathTest"), "directly");
    EXPECT_TRUE(host->get().settings.deleteKey(full + "EditorPathTest"));
    EXPECT_FALSE(agentSetting("EditorPathTest"));
    EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.texts());
    wmi.end();
}

}  // namespace
}  // namespace tw::testing
