// Waits that end: every network wait of the agent has a time limit, and a
// stop request ends it within a fraction of a second. Calls that the system
// cannot bound itself (name resolution) run on a helper thread that the
// caller stops waiting for.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace tw::platform {

struct WaitBound {
    int timeoutMs = 0;              // 0: no limit of its own
    std::function<bool()> stopped;  // asked at least every kStopPollMs; may be empty

    bool stopRequested() const { return stopped && stopped(); }
};

// The longest a bounded wait goes without looking at its stop.
inline constexpr int kStopPollMs = 100;

enum class WaitEnd { Done, TimedOut, Stopped, NoThread };

// Helper threads that may work at once, abandoned ones included: a name
// service that never answers costs this many threads, not one per call.
inline constexpr int kMaxHelperThreads = 8;

// Helper threads working now, abandoned ones included. A helper whose work
// is done waits a while for the next call (the agent resolves its own name
// every cycle, and a thread started and ended each time cost more than the
// lookup); waiting ones are not counted.
int runninghelpers();

namespace detail {
bool takehelperslot();
void releasehelperslot();
// Runs job on a waiting helper or a new one; false when no thread could be
// had. The job releases its slot itself.
bool dispatch(std::function<void()> job);
// Helpers waiting for work now; helper threads started so far.
int waitinghelpers();
int helpersstarted();
}  // namespace detail

// Runs work on a helper thread and waits for it within bound. Done: result
// holds its answer. TimedOut or Stopped: the work goes on in the background
// and its answer is dropped. NoThread: no helper could be had (too many
// still running), nothing was run.
template <class R>
WaitEnd runbounded(std::function<R()> work, const WaitBound& bound, R& result) {
    struct Shared {
        std::mutex mu;
        std::condition_variable cv;
        bool done = false;
        R answer{};
    };
    auto shared = std::make_shared<Shared>();
    if (!detail::takehelperslot()) return WaitEnd::NoThread;
    const bool started = detail::dispatch([shared, work = std::move(work)] {
        R answer = work();
        {
            std::lock_guard<std::mutex> g(shared->mu);
            shared->answer = std::move(answer);
            shared->done = true;
        }
        shared->cv.notify_all();
        detail::releasehelperslot();
    });
    if (!started) {
        detail::releasehelperslot();
        return WaitEnd::NoThread;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bound.timeoutMs);
    std::unique_lock<std::mutex> lock(shared->mu);
    while (!shared->done) {
        if (bound.stopRequested()) return WaitEnd::Stopped;
        const Clock::time_point now = Clock::now();
        if (bound.timeoutMs > 0 && now >= deadline) return WaitEnd::TimedOut;
        Clock::time_point until = now + std::chrono::milliseconds(kStopPollMs);
        if (bound.timeoutMs > 0) until = std::min(until, deadline);
        shared->cv.wait_until(lock, until);
    }
    result = std::move(shared->answer);
    return WaitEnd::Done;
}

}  // namespace tw::platform
