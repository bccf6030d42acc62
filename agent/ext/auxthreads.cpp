#include "agent/ext/auxthreads.h"

#include <algorithm>
#include <system_error>

#include "platform/clock.h"
#include "platform/system.h"

namespace tw {

bool AuxThreads::start(std::function<void()> fn) {
    std::lock_guard<std::mutex> g(mu_);
    if (stop_.load()) return false;
    try {
        threads_.emplace_back([fn = std::move(fn)] {
            // A thread that fails ends alone; it must not take the process down.
            try {
                fn();
            } catch (...) {
            }
        });
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void AuxThreads::stopAll() {
    stop_.store(true);
    std::vector<std::thread> joining;
    {
        std::lock_guard<std::mutex> g(mu_);
        joining.swap(threads_);
    }
    for (std::thread& t : joining)
        if (t.joinable()) t.join();
}

size_t AuxThreads::count() const {
    std::lock_guard<std::mutex> g(mu_);
    return threads_.size();
}

bool auxstopping(const ExtContext& x) {
    return x.threads.stopRequested() || x.system.stopRequested();
}

bool auxsleep(const ExtContext& x, int64_t seconds) {
    int64_t left = std::max<int64_t>(seconds, 0) * 1000;
    while (left > 0) {
        if (auxstopping(x)) return false;
        int64_t step = std::min(left, kAuxStepMs);
        if (!x.clock.sleepMs(step)) return false;
        left -= step;
    }
    return !auxstopping(x);
}

CycleLock::CycleLock(platform::CycleMutex& mutex) : mutex_(mutex) {
    mutex_.lock();
    held_ = true;
}

void CycleLock::unlock() {
    if (!held_) return;
    held_ = false;
    mutex_.unlock();
}

}  // namespace tw
