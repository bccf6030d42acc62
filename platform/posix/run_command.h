// Runs a helper program (systemctl and the like) with a time bound and
// answers its exit status and output. For platform code only.
#pragma once

#include <string>
#include <vector>

namespace tw::platform {

struct CommandResult {
    bool started = false;
    bool timedOut = false;
    int status = -1;      // exit status when it ended normally
    std::string output;   // stdout and stderr together, at most 1 MiB
};

CommandResult runCommand(const std::vector<std::string>& argv, int timeoutMs);

}  // namespace tw::platform
