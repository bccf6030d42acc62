// The twntcfg program on Qt: the command line, the version message or the
// log, the main dialog's start (which may end the program), then the main
// window until it closes.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tw::editor::qt {

// Runs the editor with its arguments (without the program's name) on the
// host's platform; a QApplication must exist. Answers the exit code.
int runTwntcfg(platform::Platform& host, const std::vector<std::string>& args);

}  // namespace tw::editor::qt
