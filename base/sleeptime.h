// How long the cycle and each external program's thread sleep after a round.
#pragma once

#include <cstdint>

namespace tw {

// Sleep after a round: elapsed 0 or less gives the interval, the interval
// or more gives 1, otherwise the interval less the elapsed seconds.
constexpr int64_t sleeptime(int64_t elapsed, int interval) {
    if (elapsed <= 0) return interval;
    if (elapsed >= interval) return 1;
    return interval - elapsed;
}

}  // namespace tw
