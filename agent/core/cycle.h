// twmain: the start-up and the monitoring cycle, repeated until a stop.
#pragma once

#include <cstdint>

namespace tw {

struct Agent;

// Runs start-up and the cycles; answers the process exit status (0 after a
// stop, 1 after a fatal start-up or configuration outcome).
int twmain(Agent& agent);

}  // namespace tw
