#include "platform/bounded_wait.h"

#include <atomic>
#include <deque>
#include <system_error>
#include <thread>

namespace tw::platform {

namespace {

std::atomic<int> helpers{0};
std::atomic<int> started{0};

// Helpers waiting for work. Kept for the life of the process (never
// destroyed), since a waiting helper may outlive everything else at exit.
struct Waiting {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<std::function<void()>> jobs;  // at most one per waiting helper
    int helpers = 0;
};
Waiting& waiting() {
    static Waiting* w = new Waiting;
    return *w;
}

// How many helpers wait for work at most (the agent looks names up one at a
// time), and for how long.
constexpr int kMaxWaiting = 1;
constexpr auto kWaitForWork = std::chrono::seconds(60);

void helperLoop(std::function<void()> job) {
    Waiting& w = waiting();
    while (true) {
        job();
        job = nullptr;
        std::unique_lock<std::mutex> lock(w.mu);
        if (w.helpers >= kMaxWaiting) return;
        ++w.helpers;
        const bool got = w.cv.wait_for(lock, kWaitForWork, [&] { return !w.jobs.empty(); });
        --w.helpers;
        if (!got) return;
        job = std::move(w.jobs.front());
        w.jobs.pop_front();
    }
}

}  // namespace

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

bool dispatch(std::function<void()> job) {
    Waiting& w = waiting();
    {
        std::lock_guard<std::mutex> g(w.mu);
        if (w.helpers > static_cast<int>(w.jobs.size())) {
            w.jobs.push_back(std::move(job));
            w.cv.notify_one();
            return true;
        }
    }
    try {
        std::thread(helperLoop, std::move(job)).detach();
        started.fetch_add(1);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

int waitinghelpers() {
    Waiting& w = waiting();
    std::lock_guard<std::mutex> g(w.mu);
    return w.helpers;
}

int helpersstarted() {
    return started.load();
}

}  // namespace detail
}  // namespace tw::platform
