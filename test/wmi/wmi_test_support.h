// Test doubles for the WMI layer: a clock with a chosen zone and recorded
// sleeps, a temporary fixture file, and a platform wired to the fixture
// provider.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/platform.h"
#include "platform/fixture_wmi_provider.h"
#include "platform/wmi_datetime.h"
#include "test/support/fake_platform.h"

namespace tw::testing {

// A zone: a standard offset, and optionally EU daylight time (one hour more
// from the last Sunday of March to the last Sunday of October, 01:00 UTC).
class ZoneClock final : public platform::Clock {
  public:
    explicit ZoneClock(int standardMinutes = 0, bool euDaylight = false)
        : std_(standardMinutes), dst_(euDaylight) {}

    int64_t t = 1349447400;  // 2012-10-05 14:30:00 UTC
    std::vector<int64_t> sleptMs;
    bool stopOnSleep = false;

    int offsetMinutes(int64_t at) const {
        if (!dst_) return std_;
        int year = platform::wmiDateTimeAt(at, 0).year;
        auto lastSunday = [&](int month) {
            int64_t day = platform::daysFromCivil(year, month, 31);
            int64_t wd = (day + 4) % 7;  // 1970-01-01 was a Thursday (4)
            if (wd < 0) wd += 7;
            return (day - wd) * 86400 + 3600;
        };
        return (at >= lastSunday(3) && at < lastSunday(10)) ? std_ + 60 : std_;
    }

    int64_t now() override { return t; }
    int64_t monotonicMs() override { return t * 1000; }
    platform::LocalTime localTime(int64_t at) override {
        const int off = offsetMinutes(at);
        platform::WmiDateTime d = platform::wmiDateTimeAt(at, off);
        platform::LocalTime lt;
        lt.tm.tm_year = d.year - 1900;
        lt.tm.tm_mon = d.month - 1;
        lt.tm.tm_mday = d.day;
        lt.tm.tm_hour = d.hour;
        lt.tm.tm_min = d.minute;
        lt.tm.tm_sec = d.second;
        lt.tm.tm_isdst = off != std_;
        lt.utcOffsetSeconds = off * 60L;
        lt.zoneName = "TST";
        return lt;
    }
    std::optional<int64_t> fromLocalTime(const std::tm& tm) override {
        int64_t guess = platform::utcSeconds(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                                             tm.tm_hour, tm.tm_min, tm.tm_sec);
        return guess - offsetMinutes(guess - std_ * 60) * 60;
    }
    bool sleepSeconds(int64_t s) override { return sleepMs(s * 1000); }
    bool sleepMs(int64_t ms) override {
        sleptMs.push_back(ms);
        t += ms / 1000;
        return !stopOnSleep;
    }

  private:
    int std_;
    bool dst_;
};

// A platform whose WMI is the fixture provider over a file in a temporary
// directory, with settings in memory.
struct FixturePlatform {
    TempDir dir;
    ZoneClock clock;
    std::unique_ptr<platform::SettingsStore> store;
    std::unique_ptr<platform::WmiProvider> provider;
    platform::Platform p;

    explicit FixturePlatform(const std::string& json, int zoneMinutes = 0) : clock(zoneMinutes) {
        writeFile(fixture(), json);
        store = std::make_unique<MemorySettingsStore>();
        provider = platform::makeFixtureWmiProvider(fixture(), clock, *store);
        p.settings = store.get();
        p.clock = &clock;
        p.wmi = provider.get();
    }
    std::string fixture() const { return dir.file("wmi.json"); }
};

// Reads a whole file (the diagnostic log in tests).
inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tw::testing
