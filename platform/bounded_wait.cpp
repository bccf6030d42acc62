#include "platform/bounded_wait.h"

#include <atomic>

namespace tw::platform {

namespace {
std::atomic<int> helpers{0};
}

int runninghelpers() {
    return helpers.load();
}

namespace detail {

bool takehelperslot() {
    int n = helpers.load();
    while (n < kMaxHelperThreads)
        if (helpers.compare_exchange_weak(n, n + 1)) return true;
    return false;
}

void releasehelperslot() {
    helpers.fetch_sub(1);
}

}  // namespace detail
}  // namespace tw::platform
