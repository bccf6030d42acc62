#include "agent/core/entry.h"

#include <cstdio>

#include "agent/core/agent.h"
#include "agent/core/commands.h"
#include "agent/core/cycle.h"
#include "agent/core/service.h"

namespace tw {

int twntentry(const std::vector<std::string>& args, platform::Platform& platform) {
    std::string joined;
    for (const auto& arg : args) {
        if (joined.size() + arg.size() > 255) {
            std::fprintf(stderr, "\r\n%s: Command line too long\r\n", "twnt");
            return 1;
        }
        joined += arg;
        joined += ' ';
    }
    Agent agent(platform);
    if (joined.find("-app") != std::string::npos) {
        platform.system.releaseConsole();
        agent.serviceMode = false;
        return twmain(agent);
    }
    return rundispatcher(agent, joined);
}

}  // namespace tw
