// WMI date-time texts: year, month, day, hour, minute, second as digits,
// a fraction, then the signed offset from UTC in minutes
// ("20121005163000.0+120").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::platform {
class Clock;
}

namespace tw {

// Seconds since 1970 (UTC) of a date-time text written in any zone; nullopt
// when the text has no sign for its offset or a field is out of range
// (year from 1900, month 1-12, day 1-31, hour 0-23, minute and second 0-59).
std::optional<int64_t> wmidatetotime(std::string_view text);

// The local time of t with the zone's offset at that instant, written
// "%4d%02d%02d%02d%02d%02d.0+%03d" (or "-%03d" west of UTC).
std::string timetowmidate(platform::Clock& clock, int64_t t);

}  // namespace tw
