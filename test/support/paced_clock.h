// A thread-safe clock for tests that run the agent's auxiliary threads:
// virtual time that every sleep advances by its full length, while the
// sleeping thread really pauses a moment so that other threads get their
// turn. A hook runs at each whole-second sleep (the cycle's) so a test can
// wait there for what it expects, or stop the cycle.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/clock.h"

namespace tw::testing {

class PacedClock : public platform::Clock {
  public:
    int64_t now() override { return ms_.load() / 1000; }
    int64_t monotonicMs() override { return ms_.load(); }
    platform::LocalTime localTime(int64_t) override { return {}; }
    std::optional<int64_t> fromLocalTime(const std::tm&) override { return std::nullopt; }
    bool sleepSeconds(int64_t s) override {
        ms_ += s * 1000;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return onSleepSeconds ? onSleepSeconds(s) : true;
    }
    bool sleepMs(int64_t m) override {
        ms_ += m;
        slices_++;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return true;
    }
    int64_t slices() const { return slices_.load(); }

    // Set before any thread runs; answers what the sleep answers.
    std::function<bool(int64_t)> onSleepSeconds;

  private:
    std::atomic<int64_t> ms_{1'700'000'000'000};
    std::atomic<int64_t> slices_{0};
};

}  // namespace tw::testing
