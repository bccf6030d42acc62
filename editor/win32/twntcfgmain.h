// The twntcfg program on Windows, apart from its entry point, so that tests
// run it in their own process: COM and the common controls for the thread,
// the command line, the application and the main dialog.
#pragma once

#include <string>
#include <vector>

#include "editor/win32/win32ui.h"
#include "platform/platform.h"

namespace tw::editor::win32 {

// What the dialogs need once per thread: a single-threaded COM apartment
// (WMI, the shell's folder picker) and the list view and other common
// controls. Answers whether COM was entered here (and must be left).
bool prepareThread();

// The arguments of this process's command line, without the program's name,
// in the ANSI code page.
std::vector<std::string> commandLineArgs();

// Runs twntcfg: the version message, the log, the main dialog. Answers the
// program's exit code.
int runTwntcfg(platform::Platform& platform, Win32Ui& ui, const std::vector<std::string>& args);

}  // namespace tw::editor::win32
