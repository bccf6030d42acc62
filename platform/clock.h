// Time and waiting. All logic takes its time and its sleeps from here so
// that tests can run cycles, retries and intervals without waiting.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace tw::platform {

struct LocalTime {
    std::tm tm{};               // broken-down local time
    long utcOffsetSeconds = 0;  // east of UTC, daylight time included
    std::string zoneName;       // the zone's name or abbreviation as the system gives it
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds since 1970 (UTC).
    virtual int64_t now() = 0;
    // Nanoseconds since 1970 (UTC), as fine as the system keeps them; a
    // clock without a finer source answers now() in whole seconds.
    virtual int64_t nowNs() { return now() * 1000000000; }
    // Milliseconds from an arbitrary start; for measuring durations.
    virtual int64_t monotonicMs() = 0;
    virtual LocalTime localTime(int64_t t) = 0;
    // The instant of a local broken-down time (tm_isdst < 0: let the zone decide).
    virtual std::optional<int64_t> fromLocalTime(const std::tm& tm) = 0;
    // Sleeps; returns early (false) when a stop was requested.
    virtual bool sleepSeconds(int64_t seconds) = 0;
    virtual bool sleepMs(int64_t ms) = 0;
};

}  // namespace tw::platform
