// A private file for the agent's own output on Linux: created mode 0600,
// never opened through a symbolic link, and refused when something else (a
// device, a FIFO, a hard link, another user's file) sits at the name.
#pragma once

#include <cstdio>
#include <string>

namespace tw::platform {

std::FILE* createPrivateFile(const std::string& path, std::string& why);

}  // namespace tw::platform
