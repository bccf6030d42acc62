// The twntcfg program on Qt: the command line, the version message or the
// log, the main dialog's start (which may end the program), then the main
// window until it closes.
#pragma once

#include <string>
#include <vector>

namespace tw::editor::qt {

// Runs the editor with its arguments (without the program's name) on this
// host's platform; a QApplication must exist. Answers the exit code.
int runTwntcfg(const std::vector<std::string>& args);

}  // namespace tw::editor::qt
