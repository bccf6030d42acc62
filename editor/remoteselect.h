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

#include "platform/wmi_provider.h"

namespace tw::editor {

// A remote name list is collected into blocks of this size; a new block is
// started once the current one holds more than kNameBlockFull bytes, and
// names beyond kNameBlocksMax blocks are not offered. Each name is followed
// by ";".
inline constexpr size_t kNameBlockBytes = 204800;
inline constexpr size_t kNameBlockFull = 203776;
inline constexpr size_t kNameBlocksMax = 4000;

// The Name of every object a query yields, in blocks; nothing when the query
// cannot run (or there is no connection).
std::optional<std::vector<std::string>> collectremotenames(platform::WmiConnection* cimv2,
                                                           std::string_view wql);

class RemoteSelect {
  public:
    static constexpr const char* kCaption = "Remote Select";

    // Opening: every name of every block, in the list's sorted order.
    explicit RemoteSelect(const std::vector<std::string>& blocks);

    std::vector<std::string> names;
    int selected = -1;   // -1: none
    std::string result;  // the chosen name; empty until OK with a selection

    void ok();
    void cancel() { result.clear(); }
};

// The Externals text after adding the program at path with the default
// interval: path " /INT=300" in front of the old entries, separated by ";";
// unchanged when the text already has an entry for that path.
std::string addexternalentry(std::string_view externals, std::string_view path);

}  // namespace tw::editor
