// The threshold pairs that the Defaults setting gives the cpu, disk and
// pagefile tests.
#pragma once

#include <string>

namespace tw {

struct Thresholds {
    int cpuYellow = 80, cpuRed = 95;
    int diskYellow = 90, diskRed = 95;
    int pagefileYellow = 85, pagefileRed = 95;
};

// Starts from the program defaults, then takes "CPU:y:r", "DISK:y:r" and
// "PAGEFILE:y:r" from the (upper-cased) text; writes its log lines.
Thresholds parsedefaults(const std::string& text);

}  // namespace tw
