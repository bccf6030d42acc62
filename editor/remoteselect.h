// Picking a file or a directory on the target machine: the name lists of a
// remote machine (CIM_DataFile, Win32_Directory) collected in blocks, the
// "Remote Select" list built from them, and the two buttons of the main
// dialog that use it, "Add External" and the browse button beside "Save Log
// Location" (which use the platform's own pickers for the local machine).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/form.h"
#include "editor/settingsform.h"
#include "editor/wmicontext.h"

namespace tw::editor {

// A remote name list is collected into blocks of this size; a new block is
// started once the current one holds more than kNameBlockFull bytes, and
// names beyond kNameBlocksMax blocks are not offered. Each name is followed
// by ";".
inline constexpr size_t kNameBlockBytes = 204800;
inline constexpr size_t kNameBlockFull = 203776;
inline constexpr size_t kNameBlocksMax = 4000;

// The Name of every object a query yields on the target machine, in blocks;
// nothing when the query cannot run (or there is no connection).
std::optional<std::vector<std::string>> collectremotenames(WmiContext& wmi, std::string_view wql);

class RemoteSelect {
  public:
    static constexpr const char* kCaption = "Remote Select";

    // Opening: every name of every block, in the list's sorted order
    // (without regard to case); the result starts empty.
    explicit RemoteSelect(const std::vector<std::string>& blocks);

    std::vector<std::string> names;
    std::string result;  // the chosen name; empty after Cancel or without a selection

    // Shows the list through the port and keeps the choice.
    const std::string& run(UiPort& ui);
};

// "Add External": the administrator picks a program on the target machine
// (the local file picker, or the remote file list after a confirmation),
// which goes in front of the "Externals List" text with the default
// interval. Answers whether the field changed.
bool AddExternal(Form& form, WmiContext& wmi);

// The browse button beside "Save Log Location": the directory picked on the
// target machine (the local folder picker, or the remote directory list
// after a confirmation) replaces the "Save Log Location" text. Answers
// whether the field changed.
bool BrowseSaveLogLocation(Form& form, WmiContext& wmi);

// The Externals text after adding the program at path with the default
// interval: path " /INT=300" in front of the old entries, separated by ";";
// unchanged when the text already has an entry for that path.
std::string addexternalentry(std::string_view externals, std::string_view path);

}  // namespace tw::editor
