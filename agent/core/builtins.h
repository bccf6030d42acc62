// The built-in tests as the cycle runs them: each test's settings taken from
// this cycle's configuration, one delivery of their reports to TWDISPLAY and
// TWPAGE, and their order around the process snapshot; then the
// administrator's WMI-defined tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/tests/cpu.h"
#include "agent/tests/disk.h"
#include "agent/tests/mem.h"
#include "agent/tests/msgs.h"
#include "agent/tests/netdata.h"
#include "agent/tests/netprotl.h"
#include "agent/tests/pagefile.h"
#include "agent/tests/procs.h"
#include "agent/tests/svcs.h"
#include "agent/transport/twsend.h"
#include "agent/wmi/procinfo.h"
#include "agent/wmitests/wmitests.h"

namespace tw::platform {
class Clock;
}

namespace tw {

struct Agent;
struct Config;

// Each built-in test's settings as the configuration gives them.
CpuSettings cpusettings(const Config& cfg);
MemSettings memsettings(const Config& cfg);
ProcsSettings procssettings(const Config& cfg);
DiskSettings disksettings(const Config& cfg);
MsgsSettings msgssettings(const Config& cfg);
SvcsSettings svcssettings(const Config& cfg);
PagefileSettings pagefilesettings(const Config& cfg);
NetprotlSettings netprotlsettings(const Config& cfg);
NetdataSettings netdatasettings(const Config& cfg);

// The WMI-defined tests' mode, host names and date stamp (from clock, which
// must outlive the environment); query, page, perf and send are left for the
// caller to set.
WmiTestEnv wmitestenv(const Config& cfg, platform::Clock& clock);

// The agent's status channel for this cycle: the configuration's, ended by
// a stop of the agent, with the cycle's memory of dead destinations.
StatusChannel statuschannel(Agent& agent);

// Where every report of a cycle goes: twsend to the TWDISPLAY list, twpage
// to TWPAGE.
Delivery reportdelivery(const StatusChannel& channel, const std::string& twdisplay);

using Snapshot = std::optional<std::vector<ProcessSample>>;

// Takes this cycle's snapshot and MemoryInfo; runs the cpu test (only with a
// previous snapshot, MemoryInfo, at least one current row and a processor
// count), the mem test (with MemoryInfo) and the procs test (with a
// snapshot); drops MemoryInfo and the share lines. Answers the snapshot,
// which the cycle hands to handoversnapshot after the disk and msgs tests.
Snapshot runsnapshottests(Agent& agent, int64_t testTime, const Delivery& delivery);

// A snapshot with rows becomes the previous snapshot; one without rows is
// dropped and the previous one stays.
void handoversnapshot(Agent& agent, Snapshot current);

// twnt -test: takes the first samples of the tests that compare two (the
// cpu test's process snapshot, the netdata counters), as an earlier cycle
// would have; answers whether any was taken.
bool firstsamples(Agent& agent);

// One cycle's tests in order: cpu, mem and procs on the snapshot, disk,
// msgs, svcs, pagefile, netprotl and netdata, then the WMI-defined tests;
// those still to come when a stop is due are skipped.
void runtests(Agent& agent, int64_t testTime);

}  // namespace tw
