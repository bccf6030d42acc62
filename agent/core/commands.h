// The agent's commands: install, upgrade, remove, start and stop, and the
// service start when there is no command at all.
#pragma once

#include <string>

namespace tw {

struct Agent;

// The command dispatcher for a joined command line; answers the exit status.
int rundispatcher(Agent& agent, const std::string& joined);

void printusage();

}  // namespace tw
