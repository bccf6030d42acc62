// The one monotonic clock of the Linux implementations: milliseconds from
// an arbitrary start, for limits and durations (never for calendar time).
#pragma once

#include <cstdint>

namespace tw::platform {

int64_t nowMs();

}  // namespace tw::platform
