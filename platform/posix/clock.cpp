// Time and waiting on Linux: time(), CLOCK_REALTIME and localtime_r for
// calendar time, CLOCK_MONOTONIC for durations, and sleeps that wait on the stop pipe so
// that SIGINT or SIGTERM ends them at once.
#include <time.h>

#include <algorithm>

#include "platform/posix/monotonic.h"
#include "platform/posix/posix.h"

namespace tw::platform::posix {

namespace {

class PosixClock final : public Clock {
  public:
    int64_t now() override { return static_cast<int64_t>(time(nullptr)); }

    int64_t nowNs() override {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }

    int64_t monotonicMs() override { return nowMs(); }

    LocalTime localTime(int64_t t) override {
        LocalTime lt;
        time_t tt = static_cast<time_t>(t);
        localtime_r(&tt, &lt.tm);
        lt.utcOffsetSeconds = lt.tm.tm_gmtoff;
        lt.zoneName = lt.tm.tm_zone ? lt.tm.tm_zone : "";
        return lt;
    }

    std::optional<int64_t> fromLocalTime(const std::tm& tm) override {
        std::tm copy = tm;
        time_t t = mktime(&copy);
        if (t == static_cast<time_t>(-1) && !(copy.tm_year == 69 && copy.tm_mday == 31))
            return std::nullopt;
        return static_cast<int64_t>(t);
    }

    bool sleepSeconds(int64_t seconds) override { return sleepMs(seconds * 1000); }

    bool sleepMs(int64_t ms) override {
        installStopPipe();
        int64_t end = monotonicMs() + ms;
        while (true) {
            if (stopRaised()) return false;
            int64_t left = end - monotonicMs();
            if (left <= 0) return true;
            // One wait for the whole sleep: every wake-up of an idle agent
            // costs its host.
            waitForStop(left);
        }
    }
};

}  // namespace

std::unique_ptr<Clock> makeClock() {
    return std::make_unique<PosixClock>();
}

}  // namespace tw::platform::posix
