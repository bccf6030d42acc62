// WMI date-time texts ("yyyymmddHHMMSS.ffffff+UUU", the offset in minutes
// east of UTC) and the calendar arithmetic behind them. Pure functions, no
// time zone database: the caller supplies the offset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::platform {

struct WmiDateTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    int offsetMinutes = 0;  // east of UTC
};

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t year, int month, int day);
// Seconds since 1970 (UTC) of a calendar time taken as UTC.
int64_t utcSeconds(int year, int month, int day, int hour, int minute, int second);

// Strict reading as WMI writes it: 14 digits, '.', 1-6 fraction digits,
// a sign and 1-4 offset digits; fields in their calendar ranges. Used where a
// text must be recognised as a date-time (query comparisons).
std::optional<WmiDateTime> parseWmiDateTime(std::string_view text);
// The instant of a strictly read text, seconds since 1970 (UTC).
std::optional<int64_t> wmiDateTimeInstant(std::string_view text);

// The text as WMI providers write it: six fraction digits, sign and at least
// three offset digits ("20121005163000.000000+120").
std::string formatWmiDateTime(const WmiDateTime& dt);

// The calendar fields of an instant shifted by offsetMinutes.
WmiDateTime wmiDateTimeAt(int64_t utc, int offsetMinutes);

}  // namespace tw::platform
