// The date stamp every report carries: "Tue Dec 08 03:20:31 UTC 2026".
#pragma once

#include <cstdint>
#include <string>

namespace tw::platform {
class Clock;
}

namespace tw {

// "%a %b %d %H:%M:%S ", the zone (a name with blanks shortened to the
// upper-cased first letters of its words, "NON" when there is none), a blank
// and the year.
std::string datestamp(platform::Clock& clock);
std::string datestampAt(platform::Clock& clock, int64_t t);

}  // namespace tw
