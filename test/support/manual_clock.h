// The one clock of the tests and benchmarks: time stands still unless a
// sleep (or the test) moves it, and every sleep returns at once having
// moved it by its full length. The zone is UTC unless set: a standard
// offset with its name, optionally with EU daylight time (one hour more
// from the last Sunday of March to the last Sunday of October, 01:00 UTC).
// The calendar is plain arithmetic, the same on every platform.
//
// Safe for several threads (the cycle and the auxiliary threads sleep on it
// together). With `paced` each sleep also pauses a moment for real, so that
// the other threads get their turn.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace tw::testing {

class ManualClock : public platform::Clock {
  public:
    explicit ManualClock(int64_t start = 1'700'000'000) : ms_(start * 1000) {}

    int64_t now() override { return ms_.load() / 1000; }
    int64_t monotonicMs() override { return ms_.load(); }
    platform::LocalTime localTime(int64_t when) override;
    std::optional<int64_t> fromLocalTime(const std::tm& tm) override;
    bool sleepSeconds(int64_t seconds) override;
    bool sleepMs(int64_t ms) override;

    // The test moves time.
    void set(int64_t seconds) { ms_ = seconds * 1000; }
    void advance(int64_t seconds) { ms_ += seconds * 1000; }

    // The zone: seconds east of UTC (standard time) and its name.
    long utcOffset = 0;
    std::string zone = "UTC";
    bool euDaylight = false;
    // The offset in force at t, daylight time included.
    long offsetAt(int64_t t) const;

    // How sleeps end: the n-th whole-second sleep (n > 0) reports a stop and
    // raises stopFlag; with stopOnSleep every sleep does; otherwise the hook
    // answers for whole-second sleeps (the cycle's), and the rest go on.
    int stopAfterSleeps = 0;
    bool* stopFlag = nullptr;
    bool stopOnSleep = false;
    std::function<bool(int64_t seconds)> onSleepSeconds;  // set before threads run
    std::function<void(int64_t ms)> onSleepMs;            // runs at every short sleep
    bool paced = false;

    // What was slept: whole-second sleeps in seconds; every sleep in
    // milliseconds; and the number of millisecond sleeps.
    std::vector<int64_t> sleeps() const;
    std::vector<int64_t> sleptMs() const;
    int64_t slices() const { return slices_.load(); }
    // Forgets what was slept, so that stopAfterSleeps counts afresh.
    void clearSleeps();

  private:
    std::atomic<int64_t> ms_;
    std::atomic<int64_t> slices_{0};
    mutable std::mutex mu_;
    std::vector<int64_t> sleeps_, sleptMs_;
};

}  // namespace tw::testing
