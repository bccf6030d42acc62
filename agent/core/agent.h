// The agent's process-wide state. Only the code that runs the agent (entry,
// commands, service, the cycle and its test step) sees it whole; it hands
// each test, the status channel and the auxiliary threads only what they
// use. Subsystems keep their between-cycle state here.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/core/config.h"
#include "agent/ext/auxthreads.h"
#include "agent/tests/netdata.h"
#include "agent/tests/svcs.h"
#include "agent/transport/twsend.h"
#include "agent/wmi/procinfo.h"
#include "agent/wmi/wmi.h"
#include "base/settings.h"
#include "platform/platform.h"

namespace tw {

struct Agent {
    // A stop is due: the service was told to stop, or the process is asked to end.
    bool stopping() { return serviceFlag.load() != 0 || p.system.stopRequested(); }

    explicit Agent(platform::Platform& platform)
        : p(platform), settings(platform.settings), wmi(platform) {}

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
    // The snapshot of the last cycle whose snapshot had rows: the cpu
    // test's previous snapshot.
    std::optional<std::vector<ProcessSample>> prevprocs;
    bool externalsLaunched = false;
    // The destinations that timed out in a cycle: skipped until the next one.
    DeadDestinations deadDestinations;
    // Why TW.LOG could not be opened, as last written to the event log: a
    // lasting problem is reported once, not every cycle.
    std::string logFailure;
    NetdataState netdata;  // the counters of the last netdata run
    // twnt -test: the cycle's messages and the svcs test's service actions
    // go here instead of to the servers and the services. Unset otherwise.
    MessageSink drysink;
    ServiceControl dryservices;
    // Last: destroyed first, so its threads end while the rest still exists.
    AuxThreads aux;
};

}  // namespace tw
