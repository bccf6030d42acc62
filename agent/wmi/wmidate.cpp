#include "agent/wmi/wmidate.h"

#include <cstdlib>

#include "base/twlog.h"
#include "platform/clock.h"
#include "platform/wmi/wmi_datetime.h"

namespace tw {

namespace {

// A field of fixed width, digits only.
bool field(std::string_view t, size_t pos, size_t n, int& out) {
    if (pos + n > t.size()) return false;
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (t[i] < '0' || t[i] > '9') return false;
        v = v * 10 + (t[i] - '0');
    }
    out = v;
    return true;
}

}  // namespace

std::optional<int64_t> wmidatetotime(std::string_view t) {
    int y, mo, d, h, mi, s;
    if (!field(t, 0, 4, y) || !field(t, 4, 2, mo) || !field(t, 6, 2, d) || !field(t, 8, 2, h) ||
        !field(t, 10, 2, mi) || !field(t, 12, 2, s))
        return std::nullopt;
    // The offset: negated after the first '-', else after the first '+'.
    size_t sign = t.find('-');
    bool west = sign != std::string_view::npos;
    if (!west) sign = t.find('+');
    if (sign == std::string_view::npos) return std::nullopt;
    int offset = std::atoi(std::string(t.substr(sign + 1, 8)).c_str());
    if (west) offset = -offset;
    if (y < 1900 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    // The fields are the writer's local time at its offset: subtracting the
    // offset gives the instant, whatever zone or daylight time this host is
    // in now. (Correcting a local conversion by today's offset instead would
    // put a summer text read in winter an hour off.)
    return platform::utcSeconds(y, mo, d, h, mi, s) - static_cast<int64_t>(offset) * 60;
}

std::string timetowmidate(platform::Clock& clock, int64_t t) {
    platform::LocalTime lt = clock.localTime(t);
    const int sec = lt.tm.tm_sec >= 60 ? 59 : lt.tm.tm_sec;
    const long off = lt.utcOffsetSeconds / 60;
    return strformat("%4d%02d%02d%02d%02d%02d.0%c%03ld", lt.tm.tm_year + 1900, lt.tm.tm_mon + 1,
                     lt.tm.tm_mday, lt.tm.tm_hour, lt.tm.tm_min, sec, off < 0 ? '-' : '+',
                     off < 0 ? -off : off);
}

}  // namespace tw
