// twsetting: reads and changes the agent's settings from a shell, through
// the settings store itself, so that every change takes the store's lock
// and is written atomically like the agent's and the editor's own.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace tw::platform {
class SettingsStore;
class FileWriter;
}  // namespace tw::platform

namespace tw::setting {

extern const char* const kUsage;

// The store's file: --file FILE when given (it is taken out of args), else
// the agent's own (TWNT_REGISTRY, then the default path).
std::string storepath(std::vector<std::string>& args);

// What a command reaches besides the store: the standard streams and the
// writer of --export's file.
struct Io {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    platform::FileWriter& files;
};

// Runs the command on the store: NAME prints the setting's text; one or more
// NAME=VALUE set them; --export FILE writes every setting as an export file
// (owner-only, replaced whole); --import FILE [--dry-run] sets the file's
// settings in one step and prints what changed ("-": standard output or
// input). Answers the exit status: 0 done, 1 the store or the file refused
// (the reason is written to err), 2 wrong arguments.
int twsetting(const std::vector<std::string>& args, platform::SettingsStore& store, Io io);

}  // namespace tw::setting
