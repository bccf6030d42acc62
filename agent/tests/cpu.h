// The cpu test: processor load from two process snapshots, uptime with the
// recent-reboot and up-days rules, users and processes, the memory block
// and the ten most active processes. It also fills the cycle's line array
// with one share line per matched process, which the procs test reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/tests/framework.h"
#include "agent/tests/mem.h"
#include "agent/wmi/procinfo.h"

namespace tw {

class WmiSession;

// Share lines "%05.2f%%\t%s (0x%x [%d])\r\n", in ascending order once the
// cpu test has run; empty when it did not run in this cycle.
using LineArray = std::vector<std::string>;

// Users: the number of Win32_ComputerSystem rows; nothing when the query
// fails.
std::optional<int> wminumusers(WmiSession& session);

// Seconds since boot from the formatted system counters; 0 when the query
// fails, answers no row or the figure is not a text.
int64_t wmigetsystemuptime(WmiSession& session);

// The load: for every current row but the last, with a process id other
// than 0, the first previous row (in the previous snapshot's order) with
// the same id, the same name and a timestamp not greater gives
//   share = (cputime - previous cputime) * 100 / (timestamp - previous timestamp) / numcpu
// which is added to the answer and stored as a line. A match whose
// timestamp did not advance or whose processor time went backwards (a
// restarted counter) adds nothing and gets no line, like an unmatched row.
// Lines are appended to `lines` and sorted ascending ignoring case. The
// previous snapshot is indexed once, so the cost grows with the row count,
// not its square. numcpu below 1 counts as 1.
double cpuload(const std::vector<ProcessSample>& previous,
               const std::vector<ProcessSample>& current, int numcpu, LineArray& lines);

// The reported load: the sum rounded to the nearest whole percent, kept
// within the range of an int (0 for a sum that is not a number).
int loadpercent(double sum);

// "%d days" from one day on, "%d:%02d" (hours, minutes) below.
std::string uptimetext(int64_t seconds);

struct CpuInput {
    const std::vector<ProcessSample>& previous;
    const std::vector<ProcessSample>* current;  // nullptr: no snapshot this cycle
    const MemoryInfo& memory;
    int64_t now;  // the cycle's test time, seconds since 1970
    int numcpu;
};

struct CpuSettings : TestSettings {
    int yellow = 80, red = 95;  // the CPU pair of Defaults
    int rebootmins = 0;         // CPUrebootmins
    std::string rebootcolor;    // CPUrebootcolor
    int updays = 999;           // CPUupdays
    std::string updayscolor;    // CPUupdayscolor
};

// Sends one status message for the test word cpu (none without a current
// snapshot of at least 3 rows). Users and, when the boot time is unknown,
// the uptime come from the session.
void cputest(const TestContext<CpuSettings>& t, const CpuInput& in, LineArray& lines);

}  // namespace tw
