// The procs test: named processes must run with at least a required number
// of instances (or, for a count of 0, not at all), and their processor
// shares (from the cpu test's share lines) may be held below per-instance
// and summed thresholds. Configured by the Procs setting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "agent/tests/cpu.h"
#include "agent/tests/framework.h"
#include "agent/wmi/procinfo.h"

namespace tw {

// Process names in Procs are kept up to the length a snapshot name can have
// (99 characters); a longer name is cut there, so it still names the
// process whose snapshot name was cut the same way.
inline constexpr size_t kProcsNameMax = 99;

// One Procs item: name[:option]... Options: a number (required instances,
// 0 = must not run), Y... (page: a finding is red), CIy[-r] (per-instance
// share levels), CCy[-r] (summed share levels, from two instances on).
// One number sets both levels, a second number of 0 sets both to 100;
// levels not given are 100. Unknown options are ignored.
struct ProcsItem {
    std::string name;
    int count = 1;
    bool page = false;
    int ciYellow = 100, ciRed = 100;
    int ccYellow = 100, ccRed = 100;
};

// The items of a Procs text in order. An item's name runs from its first
// non-blank character to the next ':' (blanks do not end it); an option
// runs to the next ':' or white space, and white space ends the item.
// Items whose name is empty are left out.
std::vector<ProcsItem> parseprocs(std::string_view text);

struct ProcsSettings : TestSettings {
    std::string procs;  // Procs
};

// Sends one status message for the test word procs (none without a
// snapshot). lines are the cpu test's share lines of this cycle (nullptr
// or empty when it did not run: share levels then never fire).
void procstest(const TestContext<ProcsSettings>& t, const std::vector<ProcessSample>* snapshot,
               const LineArray* lines);

}  // namespace tw
