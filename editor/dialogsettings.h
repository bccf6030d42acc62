// The 27 settings that the main dialog reads, writes and exports, and their
// texts as one load or one save has them.
#pragma once

#include <array>
#include <iterator>
#include <string>
#include <string_view>

#include "base/settingstable.h"

namespace tw::editor {

// The settings the dialog reads and writes, in the order of reading,
// writing and export: names of the agent's settings table, so that a name
// outside it does not compile.
inline constexpr SettingName kDialogSettingNames[] = {
    "TWDISPLAY",         "TWPAGE",     "AliasName",      "Activatelog",    "FQDN",
    "SendPageAlerts",    "Defaults",   "MemLevels",      "CPUrebootcolor", "CPUrebootmins",
    "StartDelay",        "CPUupdays",  "CPUupdayscolor", "PageLevels",     "ExternalPath",
    "MsgLevels",         "IgnoreMsgs", "Procs",          "DiskList",       "Services",
    "NetworkInterfaces", "Externals",  "KeyCode",        "IPport",         "Timer",
    "PluginTimer",       "Tests",
};
inline constexpr int kDialogSettings = static_cast<int>(std::size(kDialogSettingNames));

// A setting's place in the list; a setting the dialog does not handle does
// not compile.
consteval int dialogIndex(std::string_view name) {
    for (int i = 0; i < kDialogSettings; ++i)
        if (equalsNoCase(kDialogSettingNames[i].name(), name)) return i;
    throw "not one of the dialog's settings";
}

// The places the dialog's code names.
using DialogSetting = int;
inline constexpr DialogSetting kTwdisplay = dialogIndex("TWDISPLAY");
inline constexpr DialogSetting kTwpage = dialogIndex("TWPAGE");
inline constexpr DialogSetting kAliasName = dialogIndex("AliasName");
inline constexpr DialogSetting kActivatelog = dialogIndex("Activatelog");
inline constexpr DialogSetting kFqdn = dialogIndex("FQDN");
inline constexpr DialogSetting kSendPageAlerts = dialogIndex("SendPageAlerts");
inline constexpr DialogSetting kDefaults = dialogIndex("Defaults");
inline constexpr DialogSetting kMemLevels = dialogIndex("MemLevels");
inline constexpr DialogSetting kCpuRebootColor = dialogIndex("CPUrebootcolor");
inline constexpr DialogSetting kCpuRebootMins = dialogIndex("CPUrebootmins");
inline constexpr DialogSetting kStartDelay = dialogIndex("StartDelay");
inline constexpr DialogSetting kCpuUpDays = dialogIndex("CPUupdays");
inline constexpr DialogSetting kCpuUpDaysColor = dialogIndex("CPUupdayscolor");
inline constexpr DialogSetting kPageLevels = dialogIndex("PageLevels");
inline constexpr DialogSetting kExternalPath = dialogIndex("ExternalPath");
inline constexpr DialogSetting kMsgLevels = dialogIndex("MsgLevels");
inline constexpr DialogSetting kIgnoreMsgs = dialogIndex("IgnoreMsgs");
inline constexpr DialogSetting kProcs = dialogIndex("Procs");
inline constexpr DialogSetting kDiskList = dialogIndex("DiskList");
inline constexpr DialogSetting kServices = dialogIndex("Services");
inline constexpr DialogSetting kNetworkInterfaces = dialogIndex("NetworkInterfaces");
inline constexpr DialogSetting kExternals = dialogIndex("Externals");
inline constexpr DialogSetting kKeyCode = dialogIndex("KeyCode");
inline constexpr DialogSetting kIpPort = dialogIndex("IPport");
inline constexpr DialogSetting kTimer = dialogIndex("Timer");
inline constexpr DialogSetting kPluginTimer = dialogIndex("PluginTimer");
inline constexpr DialogSetting kTests = dialogIndex("Tests");

// The settings table's entry of a dialog setting; the editor writes
// editorName.
constexpr const SettingDef& dialogSetting(int which) {
    return kDialogSettingNames[which].def();
}

struct SettingTexts {
    std::array<std::string, kDialogSettings> text;
    // LoadedSettings: the target machine name; EditedSettings: the "Windows
    // Computer Name" field (never written).
    std::string machine;
};

}  // namespace tw::editor
