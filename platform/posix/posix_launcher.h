// External programs on Linux: the program started as a child process
// (platform/posix/subprocess.h) with its argument text split as a POSIX
// shell splits words (no expansions), standard input and output on
// /dev/null, in a process group of its own, not waited for (reaped later).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/launcher.h"

namespace tw::platform {

// The words of an argument text: blanks separate words; '...' is literal;
// "..." is literal except that a backslash escapes $ ` " \ and a line end;
// outside quotes a backslash escapes the next character. nullopt when a
// quote is left open or the text ends in a lone backslash.
std::optional<std::vector<std::string>> splitArguments(std::string_view text);

std::unique_ptr<Launcher> makePosixLauncher();

}  // namespace tw::platform
