#include "agent/core/commands.h"

#include <cstdio>

#include "agent/core/agent.h"
#include "agent/core/service.h"

namespace tw {

void printusage() {
    std::printf("Usage:\t%s\r\n", "twnt");
    std::printf("\t%s -install TWDISPLAY [FQDN] [IPPORT]\r\n", "twnt");
    std::printf("\t%s -upgrade\r\n", "twnt");
    std::printf("\t%s -remove\r\n", "twnt");
}

int rundispatcher(Agent& agent, const std::string& joined) {
    if (joined.empty()) {
        Service service(agent);
        return service.start();
    }
    if (joined[0] != '-' && joined[0] != '/') return 0;
    // install, upgrade, remove, start and stop are not part of this build yet.
    printusage();
    return 1;
}

}  // namespace tw
