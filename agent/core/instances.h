// Whether too many agents run on this machine, judged from the process
// snapshot: the agent's own process is one of the rows, so a service
// tolerates two (the one being replaced during an upgrade) and -app one.
#pragma once

namespace tw {

class WmiSession;

// Answers true when more agent processes run than the run mode allows;
// false also when no snapshot can be taken.
bool istwntrunning(WmiSession& session, bool serviceMode);

}  // namespace tw
