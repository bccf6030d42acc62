// The fetches the monitoring cycle itself needs: the process snapshot
// (rows of Win32_PerfRawData_PerfProc_Process, Idle first and _Total last
// as WMI gives them) and the processor count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw {

class WmiSession;

struct ProcessSample {
    std::string name;      // at most 99 characters, cut at the first ".exe"
    int32_t pid = 0;       // IDProcess
    double cputime = 0;    // PercentProcessorTime: the raw 100-ns counter
    double timestamp = 0;  // Timestamp_Sys100NS
};

// Storage for 10240 rows, of which at most 10239 are filled.
inline constexpr size_t kMaxProcessSamples = 10239;

// The snapshot in the query's row order; nullopt when the query fails.
std::optional<std::vector<ProcessSample>> wmiprocinfo(WmiSession& session);

// Processors: per Win32_Processor row the larger of NumberOfCores and
// NumberOfLogicalProcessors, or 1 when both are 0. Answers the sum when it
// is above 0, else nullopt.
std::optional<int> wminumcpu(WmiSession& session);

}  // namespace tw
