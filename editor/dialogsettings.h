// The 27 settings that the main dialog reads, writes and exports, and their
// texts as one load or one save has them.
#pragma once

#include <array>
#include <string>

#include "base/settingstable.h"

namespace tw::editor {

// The 27 settings the dialog reads and writes, in the order of reading,
// writing and export.
inline constexpr int kDialogSettings = 27;
enum DialogSetting : int {
    kTwdisplay,
    kTwpage,
    kAliasName,
    kActivatelog,
    kFqdn,
    kSendPageAlerts,
    kDefaults,
    kMemLevels,
    kCpuRebootColor,
    kCpuRebootMins,
    kStartDelay,
    kCpuUpDays,
    kCpuUpDaysColor,
    kPageLevels,
    kExternalPath,
    kMsgLevels,
    kIgnoreMsgs,
    kProcs,
    kDiskList,
    kServices,
    kNetworkInterfaces,
    kExternals,
    kKeyCode,
    kIpPort,
    kTimer,
    kPluginTimer,
    kTests,
};
// The settings table's entry of a dialog setting; the editor writes
// editorName.
const SettingDef& dialogSetting(int which);

struct SettingTexts {
    std::array<std::string, kDialogSettings> text;
    // LoadedSettings: the target machine name; EditedSettings: the "Windows
    // Computer Name" field (never written).
    std::string machine;
};

}  // namespace tw::editor
