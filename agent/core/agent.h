// The agent's process-wide state, handed to the cycle, the tests and the
// auxiliary threads. Subsystems keep their between-cycle state here.
#pragma once

#include <atomic>
#include <memory>

#include "agent/core/config.h"
#include "agent/core/settings.h"
#include "agent/tests/netdata.h"
#include "agent/wmi/wmi.h"
#include "platform/platform.h"

namespace tw {

struct Agent {
    explicit Agent(platform::Platform& platform)
        : p(platform), settings(*platform.settings), wmi(platform) {}

    platform::Platform& p;
    Settings settings;
    Config cfg;
    WmiSession wmi;  // opened by wmiinit, closed by wmiclose

    // 0 while running; 1 once a stop was ordered; 99 when the service could
    // not report itself running.
    std::atomic<int> serviceFlag{0};
    bool serviceMode = true;  // cleared by -app
    std::unique_ptr<platform::CycleMutex> cycleMutex;
    int sequence = 0;
    int numcpu = 0;
    bool externalsLaunched = false;
    NetdataState netdata;  // the counters of the last netdata run
};

}  // namespace tw
