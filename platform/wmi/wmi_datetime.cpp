#include "platform/wmi/wmi_datetime.h"

#include <cstdio>

namespace tw::platform {

int64_t daysFromCivil(int64_t y, int m, int d) {
    // Howard Hinnant's algorithm: exact for every proleptic Gregorian date.
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t utcSeconds(int year, int month, int day, int hour, int minute, int second) {
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

namespace {

bool digits(std::string_view s, size_t pos, size_t n, int& out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

int daysInMonth(int y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return kDays[m - 1];
}

}  // namespace

std::optional<WmiDateTime> parseWmiDateTime(std::string_view s) {
    WmiDateTime dt;
    if (s.size() < 17 || s.size() > 25) return std::nullopt;
    if (!digits(s, 0, 4, dt.year) || !digits(s, 4, 2, dt.month) || !digits(s, 6, 2, dt.day) ||
        !digits(s, 8, 2, dt.hour) || !digits(s, 10, 2, dt.minute) || !digits(s, 12, 2, dt.second))
        return std::nullopt;
    if (s[14] != '.') return std::nullopt;
    size_t i = 15;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == 15 || i > 21 || i >= s.size() || (s[i] != '+' && s[i] != '-')) return std::nullopt;
    const bool neg = s[i] == '-';
    const size_t n = s.size() - i - 1;
    int off = 0;
    if (n < 1 || n > 4 || !digits(s, i + 1, n, off)) return std::nullopt;
    dt.offsetMinutes = neg ? -off : off;
    if (dt.month < 1 || dt.month > 12 || dt.day < 1 || dt.day > daysInMonth(dt.year, dt.month) ||
        dt.hour > 23 || dt.minute > 59 || dt.second > 60)
        return std::nullopt;
    return dt;
}

std::optional<int64_t> wmiDateTimeInstant(std::string_view text) {
    auto dt = parseWmiDateTime(text);
    if (!dt) return std::nullopt;
    return utcSeconds(dt->year, dt->month, dt->day, dt->hour, dt->minute, dt->second) -
           static_cast<int64_t>(dt->offsetMinutes) * 60;
}

std::string formatWmiDateTime(const WmiDateTime& dt) {
    char buf[64];
    const int off = dt.offsetMinutes < 0 ? -dt.offsetMinutes : dt.offsetMinutes;
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d.000000%c%03d", dt.year, dt.month,
                  dt.day, dt.hour, dt.minute, dt.second, dt.offsetMinutes < 0 ? '-' : '+', off);
    return buf;
}

WmiDateTime wmiDateTimeAt(int64_t utc, int offsetMinutes) {
    const int64_t local = utc + static_cast<int64_t>(offsetMinutes) * 60;
    int64_t days = local / 86400;
    int64_t secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Inverse of daysFromCivil.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    WmiDateTime dt;
    dt.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    dt.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    dt.year = static_cast<int>(yoe + era * 400 + (dt.month <= 2));
    dt.hour = static_cast<int>(secs / 3600);
    dt.minute = static_cast<int>(secs % 3600 / 60);
    dt.second = static_cast<int>(secs % 60);
    dt.offsetMinutes = offsetMinutes;
    return dt;
}

}  // namespace tw::platform
