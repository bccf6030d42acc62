// Copying the agent's settings to another machine: every setting of the
// store as an export file (the editor's TWNT.cfg lines), and such a file
// written back into a store in one step, all or nothing, telling what it
// changed.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace tw::platform {
class SettingsStore;
}

namespace tw::setting {

// The export file's text (CR LF line ends) with one line for each of the
// agent's settings, in the file's order; a setting the store lacks gives an
// empty line. nullopt, with why, when a setting cannot travel in the file
// (it would read back otherwise, or it is not a text). Subkeys that are
// not the agent's settings are named on warn and left out.
std::optional<std::string> exportSettings(platform::SettingsStore& store, std::string& why,
                                          std::ostream& warn);

// Reads an export file's text (source names it in messages) and sets its
// settings in one step, then prints one line per changed setting ("Timer:
// 300 -> 120"; nothing when nothing changed). A line that cannot be read,
// or a text longer than its setting holds, changes nothing and is named on
// err. An empty text for a setting the store lacks is left out. dryRun:
// prints the changes, writes nothing. Answers the exit status: 0 done, 1
// refused.
int importSettings(std::string_view text, const std::string& source, bool dryRun,
                   platform::SettingsStore& store, std::ostream& out, std::ostream& err);

}  // namespace tw::setting
