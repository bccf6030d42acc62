#include "editor/dialogsettings.h"

namespace tw::editor {

namespace {

// The dialog's settings in their order, by the names the table knows them by.
constexpr const char* kDialogSettingNames[kDialogSettings] = {
    "TWDISPLAY",         "TWPAGE",     "AliasName",      "Activatelog",    "FQDN",
    "SendPageAlerts",    "Defaults",   "MemLevels",      "CPUrebootcolor", "CPUrebootmins",
    "StartDelay",        "CPUupdays",  "CPUupdayscolor", "PageLevels",     "ExternalPath",
    "MsgLevels",         "IgnoreMsgs", "Procs",          "DiskList",       "Services",
    "NetworkInterfaces", "Externals",  "KeyCode",        "IPport",         "Timer",
    "PluginTimer",       "Tests",
};

}  // namespace

const SettingDef& dialogSetting(int which) {
    return *findsetting(kDialogSettingNames[which]);
}

}  // namespace tw::editor
