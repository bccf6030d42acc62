// Runs a program (no shell) and collects its standard output, within a
// time bound: a program that does not finish in time is killed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tw::platform {

struct CommandResult {
    int exitStatus = -1;  // -1: killed by a signal or the time bound
    bool timedOut = false;
    std::string out;
};

// nullopt when the program cannot be started. Output beyond maxBytes is
// read and dropped so the program never blocks on a full pipe.
std::optional<CommandResult> runCommand(const std::vector<std::string>& argv, int timeoutMs,
                                        size_t maxBytes = 16 << 20);

}  // namespace tw::platform
