// The cycle's steps around the process snapshot: take the snapshot and the
// MemoryInfo record, run the cpu, mem and procs tests on them, and later in
// the cycle keep the snapshot as the next cycle's previous one.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "agent/wmi/procinfo.h"

namespace tw {

struct Agent;

using Snapshot = std::optional<std::vector<ProcessSample>>;

// Takes this cycle's snapshot and MemoryInfo; runs the cpu test (only with a
// previous snapshot, MemoryInfo, at least one current row and a processor
// count), the mem test (with MemoryInfo) and the procs test (with a
// snapshot); drops MemoryInfo and the share lines. Answers the snapshot,
// which the cycle hands to handoversnapshot after the disk and msgs tests.
Snapshot runsnapshottests(Agent& agent, int64_t testTime);

// A snapshot with rows becomes the previous snapshot; one without rows is
// dropped and the previous one stays.
void handoversnapshot(Agent& agent, Snapshot current);

}  // namespace tw
