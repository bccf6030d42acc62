// The agent's 29 settings, declared once: the name the agent writes, the
// letter case the configuration editor writes where it differs (both name
// the same registry subkey, since key names match without regard to case),
// the buffer size (a setting of N bytes holds at most N - 1 characters) and
// the text -install writes. The configuration load, -install, -upgrade and
// the editor all take their names, sizes and defaults from here.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/builtintests.h"
#include "platform/ascii.h"

namespace tw {

struct SettingDef {
    const char* name;        // as the agent writes it
    size_t bufsize;          // buffer size in bytes (text limit + 1)
    const char* install;     // -install's text; nullptr: the default WMI pool
    const char* editorName;  // as the editor writes it (same key)
};

// In the order upgrade walks; install and remove move one setting each.
inline constexpr SettingDef kSettingsTable[29] = {
    {"TWDISPLAY", 512, "", "TWDISPLAY"},
    {"TWPAGE", 512, "", "TWPAGE"},
    {"IPport", 256, "", "IPPort"},
    {"FQDN", 256, "", "FQDN"},
    {"CPUrebootcolor", 256, "Yellow", "CPUrebootcolor"},
    {"CPUrebootmins", 256, "60", "CPUrebootmins"},
    {"CPUupdayscolor", 256, "Yellow", "CPUupdayscolor"},
    {"CPUupdays", 256, "999", "CPUupdays"},
    {"Procs", 8000, "", "Procs"},
    {"Externals", 8000, "", "Externals"},
    {"Services", 8000, "", "Services"},
    {"Activatelog", 256, "N", "Activatelog"},
    {"DiskList", 512, "", "DiskList"},
    {"SendPageAlerts", 256, "Y", "SendPageAlerts"},
    {"Defaults", 128, "CPU:80:95 DISK:90:95 PAGEFILE:80:90", "Defaults"},
    {"MemLevels", 128, "PHYS:95:98 COMMIT:80:90", "MemLevels"},
    {"StartDelay", 256, "0", "StartDelay"},
    {"Timer", 256, "300", "Timer"},
    {"PluginTimer", 256, "60", "pluginTimer"},
    {"MsgLevels", 256, "SYS:ERR:Y:30 SYS:WARN:N:15 APP:ERR:Y:30 APP:WARN:N:15", "MsgLevels"},
    {"IgnoreMsgs", 2048, "", "IgnoreMsgs"},
    {"ExternalPath", 260, "", "ExternalPath"},
    {"AliasName", 256, "", "AliasName"},
    {"KeyCode", 256, "", "KeyCode"},
    {"PageLevels", 128, "red purple ", "PageLevels"},
    {"Tests", 1024, kDefaultTestsText, "tests"},
    {"NetworkInterfaces", 2048, "", "Networkinterfaces"},
    {"WMITests", 102400, "", "WMITests"},
    {"WMIPool", 102400, nullptr, "WMIPool"},
};

inline constexpr size_t kNoSetting = sizeof kSettingsTable / sizeof kSettingsTable[0];

// The position of the entry whose name matches without regard to case
// (either spelling), or kNoSetting. (An index rather than a pointer: the
// compile-time lookups below then never compare an address with null, which
// GCC cannot evaluate at compile time under the undefined-behaviour
// sanitizer.)
constexpr size_t settingindex(std::string_view name) {
    for (size_t i = 0; i < kNoSetting; ++i)
        if (equalsNoCase(kSettingsTable[i].name, name)) return i;
    return kNoSetting;
}

// The settings the built-in tests read are the table's.
consteval bool builtintestsettingsknown() {
    for (const BuiltinTest* t : kBuiltinTests)
        for (const char* s : t->settings)
            if (s && settingindex(s) == kNoSetting) return false;
    return true;
}
static_assert(builtintestsettingsknown());

// The entry whose name matches without regard to case (either spelling).
constexpr const SettingDef* findsetting(std::string_view name) {
    const size_t i = settingindex(name);
    return i == kNoSetting ? nullptr : &kSettingsTable[i];
}

// One of the table's settings, named by a constant: a name outside the
// table does not compile.
class SettingName {
  public:
    consteval SettingName(const char* name) : def_(lookup(name)) {}
    constexpr const SettingDef& def() const { return *def_; }
    constexpr const char* name() const { return def_->name; }
    constexpr size_t bufsize() const { return def_->bufsize; }

  private:
    static consteval const SettingDef* lookup(const char* name) {
        const size_t i = settingindex(name);
        if (i == kNoSetting) throw "not one of the agent's settings";
        return &kSettingsTable[i];
    }
    const SettingDef* def_;
};

// The buffer size of a setting (its text holds one character less).
consteval size_t settingsize(const char* name) {
    return SettingName(name).bufsize();
}

// Switches of earlier versions that upgrade turns into mode letters of the
// Tests default and then deletes: the subkey, its buffer size and the Tests
// item whose letter becomes G when the switch begins with Y.
struct EarlierSwitch {
    const char* name;
    size_t bufsize;
    const char* testItem;
};

inline constexpr EarlierSwitch kEarlierSwitches[3] = {
    {"CPUalwaysGreen", 124, "cpu:"},
    {"DiskalwaysGreen", 124, "disk:"},
    {"EventsalwaysGreen", 124, "msgs:"},
};

}  // namespace tw
