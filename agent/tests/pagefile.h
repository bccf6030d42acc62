// The pagefile test: the paging files with their allocated, current and
// peak sizes, and a yellow or red line for each whose usage has reached the
// PAGEFILE pair of Defaults. Test word "pagefile".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/tests/framework.h"

namespace tw {

class WmiSession;

// One row of Win32_PageFileUsage; sizes in megabytes.
struct PageFileSample {
    int32_t allocated = 0;  // AllocatedBaseSize
    std::string caption;
    int32_t current = 0;  // CurrentUsage
    std::string description;
    std::string installDate;
    std::string name;  // the paging file's path
    int32_t peak = 0;  // PeakUsage
    std::string status;
    int32_t temporary = 0;  // TempPageFile
};

inline constexpr size_t kMaxPageFileSamples = 3071;

// "SELECT * FROM Win32_PageFileUsage"; nullopt when the query fails.
std::optional<std::vector<PageFileSample>> wmipagefileusage(WmiSession& session);

struct PagefileSettings : TestSettings {
    int yellow = 85, red = 95;  // the PAGEFILE pair of Defaults
};

// Runs the test: fetch, report, send, page.
void pagefiletest(const TestContext<PagefileSettings>& t);

}  // namespace tw
