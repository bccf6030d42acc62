#include "test/support/manual_clock.h"

#include <chrono>
#include <thread>

#include "platform/wmi/wmi_datetime.h"

namespace tw::testing {

long ManualClock::offsetAt(int64_t t) const {
    if (!euDaylight) return utcOffset;
    const int year = platform::wmiDateTimeAt(t, 0).year;
    auto lastSunday = [&](int month) {
        const int64_t day = platform::daysFromCivil(year, month, 31);
        int64_t wd = (day + 4) % 7;  // 1970-01-01 was a Thursday (4)
        if (wd < 0) wd += 7;
        return (day - wd) * 86400 + 3600;
    };
    return t >= lastSunday(3) && t < lastSunday(10) ? utcOffset + 3600 : utcOffset;
}

platform::LocalTime ManualClock::localTime(int64_t when) {
    using namespace std::chrono;
    const long offset = offsetAt(when);
    platform::LocalTime lt;
    const int64_t local = when + offset;
    const int64_t days = local >= 0 ? local / 86400 : -((-local + 86399) / 86400);
    const int64_t secs = local - days * 86400;
    const sys_days day{std::chrono::days{days}};
    const year_month_day ymd{day};
    lt.tm.tm_year = static_cast<int>(ymd.year()) - 1900;
    lt.tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    lt.tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    lt.tm.tm_hour = static_cast<int>(secs / 3600);
    lt.tm.tm_min = static_cast<int>(secs / 60 % 60);
    lt.tm.tm_sec = static_cast<int>(secs % 60);
    lt.tm.tm_wday = static_cast<int>(weekday{day}.c_encoding());
    lt.tm.tm_yday = static_cast<int>((day - sys_days{ymd.year() / January / 1}).count());
    lt.tm.tm_isdst = offset != utcOffset;
    lt.utcOffsetSeconds = offset;
    lt.zoneName = zone;
    return lt;
}

std::optional<int64_t> ManualClock::fromLocalTime(const std::tm& tm) {
    using namespace std::chrono;
    // Normalises out-of-range months, days and times as timegm() would.
    int64_t month = tm.tm_mon;
    const int64_t year =
        1900 + static_cast<int64_t>(tm.tm_year) + (month >= 0 ? month / 12 : (month - 11) / 12);
    month = ((month % 12) + 12) % 12;
    const sys_days first{std::chrono::year{static_cast<int>(year)} /
                         std::chrono::month{static_cast<unsigned>(month + 1)} / 1};
    const int64_t days = first.time_since_epoch().count() + tm.tm_mday - 1;
    const int64_t guess =
        days * 86400 + static_cast<int64_t>(tm.tm_hour) * 3600 + tm.tm_min * 60 + tm.tm_sec;
    return guess - offsetAt(guess - utcOffset);
}

bool ManualClock::sleepSeconds(int64_t seconds) {
    size_t count;
    {
        std::lock_guard<std::mutex> g(mu_);
        sleeps_.push_back(seconds);
        sleptMs_.push_back(seconds * 1000);
        count = sleeps_.size();
    }
    ms_ += seconds * 1000;
    if (paced) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (stopOnSleep) return false;
    if (stopAfterSleeps > 0 && static_cast<int>(count) >= stopAfterSleeps) {
        if (stopFlag) *stopFlag = true;
        return false;
    }
    return onSleepSeconds ? onSleepSeconds(seconds) : true;
}

bool ManualClock::sleepMs(int64_t ms) {
    if (onSleepMs) onSleepMs(ms);
    {
        std::lock_guard<std::mutex> g(mu_);
        sleptMs_.push_back(ms);
    }
    ms_ += ms;
    slices_++;
    if (paced) std::this_thread::sleep_for(std::chrono::microseconds(200));
    return !stopOnSleep;
}

std::vector<int64_t> ManualClock::sleeps() const {
    std::lock_guard<std::mutex> g(mu_);
    return sleeps_;
}

void ManualClock::clearSleeps() {
    std::lock_guard<std::mutex> g(mu_);
    sleeps_.clear();
    sleptMs_.clear();
    slices_ = 0;
}

std::vector<int64_t> ManualClock::sleptMs() const {
    std::lock_guard<std::mutex> g(mu_);
    return sleptMs_;
}

}  // namespace tw::testing
