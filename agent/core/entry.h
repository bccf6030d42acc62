// The process entry: joins the command line, runs the console loop with
// -app, the service without arguments, or one of the commands.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tw {

// Answers the process exit status.
int twntentry(const std::vector<std::string>& args, platform::Platform& platform);

}  // namespace tw
