// The mem test and the memory figures it shares with the cpu test.
//
// wmimemoryinfo fetches the MemoryInfo record once per cycle (operating
// system figures, physical total with retries, corrected free memory and
// the commit charge); the cycle hands it to the cpu and mem tests and drops
// it after the mem test. memtest reports the used shares of physical memory
// and of the commit charge against the MemLevels pairs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "agent/tests/framework.h"

namespace tw {

class WmiSession;

// Sizes in kilobytes.
struct MemoryInfo {
    int64_t boottime = 0;  // LastBootUpTime in seconds since 1970; 0 when absent
    double commitTotal = 0;
    double virtualTotal = 0;
    double visibleTotal = 0;  // fetched, not reported
    double physFree = 0;
    double commitFree = 0;
    double virtualFree = 0;
    double physTotal = 0;
};

// Nothing when the Win32_OperatingSystem query cannot run. A query that
// runs but answers no object still gives a record: its operating-system
// figures stay 0, the physical total and the commit figures are filled.
std::optional<MemoryInfo> wmimemoryinfo(WmiSession& session);

// Physical memory in kilobytes: TotalPhysicalMemory summed over the
// Win32_ComputerSystem rows, / 1024; 0 when the query fails.
double wmitotalphymem(WmiSession& session);

// A size in whole megabytes and in the units a report shows it in: for k
// kilobytes, m = trunc(k / 1024) + 1 (one more also for exact multiples);
// above 1024 MB the figure is m / 1024 in "GB", otherwise m in "MB".
struct MemSize {
    double value;
    const char* unit;
};
double wholemegabytes(double kilobytes);
MemSize inunits(double megabytes);

// Used shares (percent) that reach these levels turn the report yellow
// (warn) or red (panic).
struct MemLevels {
    int physWarn = 95, physPanic = 98;
    int commitWarn = 80, commitPanic = 90;
};

// "PHYS:w:p" and "COMMIT:w:p" anywhere in the text, upper-case words as
// written; the panic figure is the number after the next colon behind the
// word, even when that colon belongs to a later item. A figure is taken
// when it is a number of 0 or more; a missing or non-numeric one keeps the
// program default.
MemLevels parsememlevels(std::string_view text);

struct MemSettings : TestSettings {
    std::string memlevels;  // MemLevels
};

// Sends one status message for the test word mem (nothing without a
// record).
void memtest(const TestContext<MemSettings>& t, const MemoryInfo* info);

}  // namespace tw
