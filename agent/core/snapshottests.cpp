#include "agent/core/snapshottests.h"

#include "agent/core/agent.h"
#include "agent/tests/cpu.h"
#include "agent/tests/mem.h"
#include "agent/tests/procs.h"
#include "agent/transport/twsend.h"

namespace tw {

namespace {

Delivery snapshotdelivery(Agent& a) {
    return {[&a](const std::string& text) { twsend(a, a.cfg.twdisplay, text); },
            [&a](const std::string& text) { twpage(a, a.cfg.twpage, text); }};
}

}  // namespace

Snapshot runsnapshottests(Agent& a, int64_t testTime) {
    Snapshot current = wmiprocinfo(a.wmi);
    std::optional<MemoryInfo> memory = wmimemoryinfo(a.wmi);
    LineArray lines;  // at most one share line per row
    if (current) lines.reserve(current->size() + 1);
    const Delivery d = snapshotdelivery(a);

    if (a.prevprocs && current && memory && !current->empty() && a.numcpu >= 1)
        cputest(a.cfg, a.wmi, *a.p.clock, d,
                CpuInput{*a.prevprocs, &*current, *memory, testTime, a.numcpu}, lines);
    if (memory) memtest(a.cfg, &*memory, *a.p.clock, d);
    memory.reset();
    if (current) procstest(a.cfg, *a.p.clock, d, &*current, &lines);
    return current;
}

void handoversnapshot(Agent& a, Snapshot current) {
    if (current && !current->empty()) a.prevprocs = std::move(current);
}

}  // namespace tw
