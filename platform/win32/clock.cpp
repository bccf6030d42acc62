// Time and waiting on Windows: the C run-time's 64-bit time functions for
// calendar time (so the zone name is the one the run-time's strftime %Z
// gives), GetTickCount64 for durations, and sleeps that wait on the stop
// event so that a service stop or Ctrl-C ends them at once.
#include <time.h>

#include <algorithm>

#include "platform/win32/win32.h"

namespace tw::platform::win32 {

namespace {

class Win32Clock final : public Clock {
  public:
    Win32Clock() { _tzset(); }

    int64_t now() override { return static_cast<int64_t>(_time64(nullptr)); }

    int64_t nowNs() override {
        FILETIME ft;
        GetSystemTimeAsFileTime(&ft);
        const int64_t since1601 = static_cast<int64_t>(
            (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
        return (since1601 - 116444736000000000LL) * 100;  // 100 ns units from 1601
    }

    int64_t monotonicMs() override { return static_cast<int64_t>(GetTickCount64()); }

    LocalTime localTime(int64_t t) override {
        LocalTime lt;
        __time64_t tt = t;
        if (_localtime64_s(&lt.tm, &tt) != 0) return lt;
        // The offset is what separates the local wall clock from UTC at t.
        std::tm copy = lt.tm;
        __time64_t asUtc = _mkgmtime64(&copy);
        if (asUtc != -1) lt.utcOffsetSeconds = static_cast<long>(asUtc - tt);
        char zone[128] = {};
        if (std::strftime(zone, sizeof zone, "%Z", &lt.tm) > 0) lt.zoneName = zone;
        return lt;
    }

    std::optional<int64_t> fromLocalTime(const std::tm& tm) override {
        std::tm copy = tm;
        __time64_t t = _mktime64(&copy);
        if (t == -1) return std::nullopt;
        return static_cast<int64_t>(t);
    }

    bool sleepSeconds(int64_t seconds) override { return sleepMs(seconds * 1000); }

    bool sleepMs(int64_t ms) override {
        HANDLE stop = stopEvent();
        int64_t end = monotonicMs() + std::max<int64_t>(ms, 0);
        while (true) {
            int64_t left = end - monotonicMs();
            // A wait of 0 still tells whether a stop is pending.
            DWORD chunk = static_cast<DWORD>(std::clamp<int64_t>(left, 0, 0x7fffffff));
            if (WaitForSingleObject(stop, chunk) == WAIT_OBJECT_0) return false;
            if (left <= 0x7fffffff) return true;
        }
    }
};

}  // namespace

std::unique_ptr<Clock> makeClock() {
    return std::make_unique<Win32Clock>();
}

}  // namespace tw::platform::win32
