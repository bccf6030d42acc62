// The export file's format (TWNT.cfg): one "[name]text" line per setting,
// written in text mode, so that a line break inside a setting becomes CR LF.
// The editor writes it after every save; twsetting writes it for every
// setting of the store and reads it back, to copy settings between machines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/settingstable.h"

namespace tw {

// The settings in the order of the export file: the 27 that the editor's
// dialog saves (its own order of reading and writing), WMITests (where the
// editor's file ends), then WMIPool.
inline constexpr const char* kExportOrder[29] = {
    "TWDISPLAY",         "TWPAGE",     "AliasName",      "Activatelog",    "FQDN",
    "SendPageAlerts",    "Defaults",   "MemLevels",      "CPUrebootcolor", "CPUrebootmins",
    "StartDelay",        "CPUupdays",  "CPUupdayscolor", "PageLevels",     "ExternalPath",
    "MsgLevels",         "IgnoreMsgs", "Procs",          "DiskList",       "Services",
    "NetworkInterfaces", "Externals",  "KeyCode",        "IPport",         "Timer",
    "PluginTimer",       "Tests",      "WMITests",       "WMIPool",
};
inline constexpr size_t kEditorExportLines = 28;

// One setting's line, "[name]text" and a line feed (LF; textModeLines makes
// the file's CR LF).
std::string exportLine(std::string_view name, std::string_view text);

// Whether a setting's text may hold line breaks, so that the lines after its
// own continue it: the WMI test definitions, whose page formats do.
bool exportSpansLines(const SettingDef& setting);

struct ExportEntry {
    const SettingDef* setting;
    std::string name;  // as the file spells it
    std::string text;
    int line;  // where its line is, from 1
};

struct ExportReadError {
    int line = 0;
    std::string what;
};

// Reads a whole export file (CR LF or LF line ends). Every line must be a
// setting's line or, for a setting that spans lines, a continuation of the
// one before; a setting appears once. A line that cannot be read fails the
// whole file, with its number and the reason.
std::optional<std::vector<ExportEntry>> readExportText(std::string_view file,
                                                       ExportReadError* error);

}  // namespace tw
